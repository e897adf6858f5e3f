// The main window: controls, menu, START/STOP, the one-second tick and the menu commands.
#include "app/qt/mainwindow.h"

#include "app/config.h"
#include "app/housekeeping.h"
#include "app/qt/dialogs.h"
#include "app/qt/lamp.h"
#include "app/qt/panelbar.h"
#include "app/qt/plotview.h"
#include "coverage/outline.h"
#include "display/qt/qpaintercanvas.h"
#include "display/radarplot.h"
#include "feed/qt/feedclient.h"
#include "feed/startstop.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QSlider>
#include <QTimer>

namespace rizuzez {
namespace {

const QColor Silver{192, 192, 192};
const QColor White{255, 255, 255};

char asciiChar(QChar c, char fallback) {
    return c.unicode() > 32 && c.unicode() < 127 ? static_cast<char>(c.unicode()) : fallback;
}

// The first character of a locale format that is not a field letter, a blank or a quote.
char separatorOf(const QString& format, char fallback) {
    for (const QChar c : format) {
        if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('\'')) {
            return asciiChar(c, fallback);
        }
    }
    return fallback;
}

QString fromLocal(const std::string& path) {
    return QFile::decodeName(path.c_str());
}
std::string toLocal(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

void setBoxColor(QLineEdit* box, const QColor& c) {
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, c);
    box->setPalette(pal);
}

// The plot-file questions, answered by the window's dialogs.
class DialogQuestions final : public PlotFileQuestions {
public:
    explicit DialogQuestions(Dialogs& dialogs) : m_dialogs(dialogs) {}
    bool confirmReload() override {
        return m_dialogs.question(
            QStringLiteral("rizuzez1"),
            QStringLiteral("Do you want to reload the last saved radar plot?"),
            Dialogs::Icon::Question);
    }
    std::optional<std::string> choosePlotFile(const std::string& dataDir) override {
        const QString chosen = m_dialogs.chooseFile(fromLocal(dataDir));
        if (chosen.isEmpty()) {
            return std::nullopt;
        }
        return toLocal(chosen);
    }

private:
    Dialogs& m_dialogs;
};

QLabel* label(QWidget* parent, const char* text, int x, int y) {
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QLineEdit* box(QWidget* parent, int x, int y, int w, int h, const QString& text = {}) {
    auto* e = new QLineEdit(text, parent);
    e->setGeometry(x, y, w, h);
    return e;
}

QLineEdit* contactBox(QWidget* parent, int x, int y, int w) {
    QLineEdit* e = box(parent, x, y, w, 19);
    e->setReadOnly(true);
    setBoxColor(e, Silver);
    return e;
}

QSlider* trackBar(QWidget* parent, int x, int y, int min, int max, int step, int position) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setGeometry(x, y, 150, 33);
    s->setRange(min, max);
    s->setSingleStep(step);
    s->setPageStep(step);
    s->setTickInterval(step);
    s->setTickPosition(QSlider::TicksBelow);
    s->setValue(position);
    return s;
}

} // namespace

TForm1::TForm1(const Setup& setup, QWidget* parent)
    : QMainWindow(parent), m_setup(setup), m_station(*setup.clock) {
    Q_ASSERT(setup.clock && setup.dialogs);
    m_station.DataDir = toLocal(setup.dataDir);
    const QLocale& loc = setup.locale;
    m_decimalSeparator =
        asciiChar(loc.decimalPoint().isEmpty() ? QChar('.') : loc.decimalPoint()[0], '.');
    m_dateSeparator = separatorOf(loc.dateFormat(QLocale::ShortFormat), '/');
    m_timeSeparator = separatorOf(loc.timeFormat(QLocale::ShortFormat), ':');
    m_station.setDecimalSeparator(m_decimalSeparator);
    m_station.decoder.setSink(this);

    setWindowTitle(QStringLiteral("Rizuzez"));
    QFont font(QStringLiteral("Lucida Console"));
    if (!QFontDatabase::families().contains(QStringLiteral("Lucida Console"))) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    }
    font.setPointSize(8);
    font.setWeight(QFont::Normal);
    setFont(font);

    buildControls();
    buildMenu();
    setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());

    IdTelnet1 = new FeedClient(this);
    connect(IdTelnet1, &FeedClient::connected, this, &TForm1::IdTelnet1Connected);
    connect(IdTelnet1, &FeedClient::disconnected, this, &TForm1::IdTelnet1Disconnected);
    connect(IdTelnet1, &FeedClient::dataAvailable, this, &TForm1::IdTelnet1DataAvailable);

    m_plotImage = makePlotImage(PlotWidth, PlotHeight);
    m_sinceYield.start();
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();
}

TForm1::~TForm1() {
    // The feed client and the timer are children and would go after the station: stop them
    // first, so nothing calls back into a half-destroyed window.
    Timer1->stop();
    delete IdTelnet1;
    IdTelnet1 = nullptr;
    m_station.decoder.setSink(nullptr);
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    const Qt::WindowStates grown = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (event->type() == QEvent::WindowStateChange && (windowState() & grown)) {
        // Undone after the state change has been delivered, not inside it.
        QTimer::singleShot(0, this, [this, grown] {
            setWindowState(windowState() & ~grown);
            resize(minimumSize());
        });
    }
}

void TForm1::buildControls() {
    auto* client = new QWidget(this);
    client->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(client);

    Label2 = label(client, "IP BS", 6, 10);
    Edit2 = box(client, 64, 6, 121, 19, QStringLiteral("127.0.0.1"));
    Label1 = label(client, "Port BS", 6, 34);
    Edit1 = box(client, 64, 30, 51, 19, QStringLiteral("30003"));
    ledbs = new Lamp(client);
    ledbs->setGeometry(126, 32, 16, 16);
    Label3 = label(client, "Lat", 6, 64);
    Edit3 = box(client, 64, 58, 121, 19);
    setBoxColor(Edit3, White);
    Label4 = label(client, "Long", 6, 88);
    Edit4 = box(client, 64, 84, 121, 19);
    setBoxColor(Edit4, White);

    Flights = new QGroupBox(QStringLiteral("Max distance"), client);
    Flights->setGeometry(8, 112, 203, 145);
    Label18 = label(Flights, "Mode-S ID", 8, 18);
    Edit10 = contactBox(Flights, 77, 14, 85);
    Label5 = label(Flights, "Lat", 8, 42);
    Edit5 = contactBox(Flights, 77, 38, 85);
    Label6 = label(Flights, "Long", 8, 66);
    Edit6 = contactBox(Flights, 77, 64, 85);
    Label7 = label(Flights, "Altitude", 8, 92);
    Edit7 = contactBox(Flights, 77, 90, 70);
    Label19 = label(Flights, "ft", 154, 94);
    Label8 = label(Flights, "Dist", 8, 122);
    Edit8 = contactBox(Flights, 42, 118, 47);
    Label10 = label(Flights, "NM", 92, 122);
    Label9 = label(Flights, "Trk", 108, 122);
    Edit9 = contactBox(Flights, 132, 118, 51);
    Label11 = label(Flights, "\u00B0", 188, 122);

    Label12 = label(client, "Ignore beyond", 10, 268);
    ComboBox1 = new QComboBox(client);
    ComboBox1->setGeometry(108, 264, 61, 19);
    ComboBox1->setEditable(false);
    ComboBox1->addItem(QStringLiteral("NEVER"));
    for (int miles = 180; miles <= 450; miles += 10) {
        ComboBox1->addItem(QString::number(miles));
    }
    ComboBox1->setCurrentIndex(0);
    Label13 = label(client, "NM", 178, 268);
    CheckBox1 = new QCheckBox(QStringLiteral("Log ignored messages"), client);
    CheckBox1->setGeometry(10, 286, 177, 17);
    // The decoder asks for every ignored position whether the box is ticked.
    connect(CheckBox1, &QCheckBox::toggled, this,
            [this](bool on) { m_station.decoder.logIgnored = on; });
    Button1 = new QPushButton(QStringLiteral("START"), client);
    Button1->setGeometry(44, 318, 133, 25);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    Button1->setFocus(); // the window opens with START focused

    Panel1 = new QFrame(client);
    Panel1->setFrameStyle(QFrame::NoFrame);
    Panel1->setGeometry(ClientWidth - 229, 0, 229, 355);
    Panel2 = new QFrame(Panel1);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setLineWidth(4);
    Panel2->setGeometry(26, 10, 188, 188);
    Image1 = new PlotView(Panel2);
    Image1->setGeometry(4, 4, PlotWidth, PlotHeight);
    tbrange = trackBar(Panel1, 44, 204, PlotRangeMin, PlotRangeMax, PlotRangeStep, 300);
    connect(tbrange, &QSlider::valueChanged, this, &TForm1::tbrangeChange);
    Label14 = label(Panel1, "60      180       360", 44, 236);
    Label15 = new QLabel(QStringLiteral("Range (NM)"), Panel1);
    Label15->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label15->setGeometry(52, 248, 133, Label15->sizeHint().height());
    tbalt = trackBar(Panel1, 44, 266, 0, SelectorAllBands, 1, SelectorAllBands);
    Label16 = label(Panel1, "<100 <200 <300 +300 all", 38, 298);
    Label17 = label(Panel1, "Level Band", 86, 312);

    StatusBar2 = new PanelBar({380, 50}, client);
    StatusBar2->setGeometry(0, 355, ClientWidth, 19);
    StatusBar1 = new PanelBar({80, 40, 40, 40, 50}, client);
    StatusBar1->setGeometry(0, 374, ClientWidth, 19);
}

void TForm1::buildMenu() {
    QMenuBar* bar = menuBar();
    const auto item = [this](QMenu* menu, const char* caption, void (TForm1::*handler)()) {
        QAction* a = menu->addAction(QString::fromUtf8(caption));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    const auto mark = [this](QMenu* menu, const char* caption, bool checked) {
        QAction* a = menu->addAction(QString::fromUtf8(caption));
        a->setCheckable(true);
        a->setChecked(checked);
        connect(a, &QAction::triggered, this, &TForm1::SaveOUTfile2Click);
        return a;
    };

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    Loadfile1 = item(file, "&Load plot file (default)", &TForm1::Loadfile1Click);
    Loadplotfilewithname1 =
        item(file, "L&oad plot file with date", &TForm1::Loadplotfilewithname1Click);
    Save1 = item(file, "&Save plot file (default)", &TForm1::Save1Click);
    Saveplotfilewithdate1 =
        item(file, "Sa&ve plot file with date", &TForm1::Saveplotfilewithdate1Click);
    file->addSeparator();
    // Both outline items run one handler, which tells them apart by the item itself.
    Saveoutfile1 = file->addAction(QStringLiteral("&Save \"OUT\" file"));
    connect(Saveoutfile1, &QAction::triggered, this, [this] { Saveoutfile1Click(Saveoutfile1); });
    Saveoutfilewithdate1 = file->addAction(QStringLiteral("Save \"OUT\" &file with date"));
    connect(Saveoutfilewithdate1, &QAction::triggered, this,
            [this] { Saveoutfile1Click(Saveoutfilewithdate1); });

    QMenu* autoSave = bar->addMenu(QStringLiteral("AutoSave"));
    AutoSaveInterval = new QActionGroup(this);
    AutoSaveInterval->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    Noautosave1 = mark(autoSave, "No auto save", true);
    Saveevery1hour1 = mark(autoSave, "Save every 1 hour", false);
    Saveevery6hours1 = mark(autoSave, "Save every 6 hours", false);
    Saveevery12hours1 = mark(autoSave, "Save every 12 hours", false);
    Saveevery24hours1 = mark(autoSave, "Save every 24 hours", false);
    for (QAction* a :
         {Noautosave1, Saveevery1hour1, Saveevery6hours1, Saveevery12hours1, Saveevery24hours1}) {
        AutoSaveInterval->addAction(a);
    }
    autoSave->addSeparator();
    Saveplotfile1 = mark(autoSave, "Save plot file with date/time", true);
    SaveOUTfile2 = mark(autoSave, "Save \"OUT\" file with date/time", true);
    autoSave->addSeparator();
    clear2 = mark(autoSave, "Clear data on AutoSave", false);

    QMenu* dataMenu = bar->addMenu(QStringLiteral("&Data"));
    Clear1 = item(dataMenu, "&Clear", &TForm1::Clear1Click);

    Exit1 = bar->addAction(QStringLiteral("&Exit"));
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
}

void TForm1::FormCreate() {
    SaveOUTfile2Click();
    tbrangeChange();
}

bool TForm1::FeedRunning() const {
    return Button1->text() != QLatin1String("START");
}

AutoSaveSettings TForm1::autoSaveSettings() const {
    AutoSaveSettings s;
    s.Noautosave1 = Noautosave1->isChecked();
    s.Saveevery1hour1 = Saveevery1hour1->isChecked();
    s.Saveevery6hours1 = Saveevery6hours1->isChecked();
    s.Saveevery12hours1 = Saveevery12hours1->isChecked();
    s.Saveevery24hours1 = Saveevery24hours1->isChecked();
    s.Saveplotfile1 = Saveplotfile1->isChecked();
    s.SaveOUTfile2 = SaveOUTfile2->isChecked();
    s.clear2 = clear2->isChecked();
    return s;
}

void TForm1::setAutoSaveSettings(const AutoSaveSettings& s) {
    // The group keeps one item checked; unchecking goes through the group's exclusivity off.
    AutoSaveInterval->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    Noautosave1->setChecked(s.Noautosave1);
    Saveevery1hour1->setChecked(s.Saveevery1hour1);
    Saveevery6hours1->setChecked(s.Saveevery6hours1);
    Saveevery12hours1->setChecked(s.Saveevery12hours1);
    Saveevery24hours1->setChecked(s.Saveevery24hours1);
    AutoSaveInterval->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    Saveplotfile1->setChecked(s.Saveplotfile1);
    SaveOUTfile2->setChecked(s.SaveOUTfile2);
    clear2->setChecked(s.clear2);
}

void TForm1::showContactTexts() {
    const ContactTexts& t = m_station.coverage.texts;
    Edit5->setText(QString::fromStdString(t.Edit5));
    Edit6->setText(QString::fromStdString(t.Edit6));
    Edit7->setText(QString::fromStdString(t.Edit7));
    Edit8->setText(QString::fromStdString(t.Edit8));
    Edit9->setText(QString::fromStdString(t.Edit9));
    Edit10->setText(QString::fromStdString(t.Edit10));
}

// ---- START / STOP -------------------------------------------------------------------------

void TForm1::Button1Click() {
    // A click that comes while START is still connecting (the lamp handler lets the window
    // run) would start a second connection on top of the first.
    if (m_starting) {
        return;
    }
    if (FeedRunning()) {
        stopFeed();
    } else {
        startFeed();
    }
}

void TForm1::startFeed() {
    const QScopedValueRollback<bool> starting(m_starting, true);
    const std::string lat = Edit3->text().toStdString();
    const std::string lon = Edit4->text().toStdString();
    const StartValues v = checkStart({lat, lon, m_decimalSeparator});
    Decoder& decoder = m_station.decoder;
    if (v.problem != StartProblem::MissingHome) {
        decoder.setHome(v.homeLat, v.homeLon);
    }
    if (v.problem != StartProblem::None) {
        m_setup.dialogs->error(QString::fromUtf8(startProblemText(v.problem)));
        return;
    }
    decoder.FilterRange = filterRangeFromIndex(ComboBox1->currentIndex());
    decoder.logIgnored = CheckBox1->isChecked();
    if (CheckBox1->isChecked()) {
        decoder.IgnoredLog = m_station.ignoredLogFile();
        createLogIfMissing(decoder.IgnoredLog); // a log that cannot be made loses its lines
    }

    IdTelnet1->Host = Edit2->text();
    IdTelnet1->Port = TelnetPort;
    decoder.ResetPendingLine(); // a line cut by the last STOP is not continued
    if (!IdTelnet1->Connect()) {
        return; // silently: the operator sees the lamp stay off and the button read START
    }

    if (const auto panel = startAutoSaveSchedule(m_station, autoSaveSettings(),
                                                 {m_dateSeparator, m_timeSeparator})) {
        StatusBar1->setText(4, QString::fromStdString(*panel));
    }
    setLocked(true);
}

void TForm1::stopFeed() {
    setLocked(false);
    StatusBar1->setText(4, QString());
    IdTelnet1->Disconnect();
}

void TForm1::setLocked(bool locked) {
    const QList<QAction*> intervals{Noautosave1, Saveevery1hour1, Saveevery6hours1,
                                    Saveevery12hours1, Saveevery24hours1};
    if (locked) {
        for (QAction* a : intervals) {
            a->setEnabled(false);
        }
    }
    Button1->setText(locked ? QStringLiteral("STOP") : QStringLiteral("START"));
    for (QLineEdit* e : {Edit3, Edit4, Edit1, Edit2}) {
        e->setReadOnly(locked);
        setBoxColor(e, locked ? Silver : White);
    }
    CheckBox1->setEnabled(!locked);
    ComboBox1->setEnabled(!locked);
    if (!locked) {
        for (QAction* a : intervals) {
            a->setEnabled(true);
        }
    }
}

void TForm1::IdTelnet1Connected() {
    ledbs->setValue(true);
    QCoreApplication::processEvents();
}

void TForm1::IdTelnet1Disconnected() {
    ledbs->setValue(false);
    QCoreApplication::processEvents();
}

void TForm1::IdTelnet1DataAvailable(const QByteArray& chunk) {
    m_sinceYield.restart();
    m_station.IdTelnet1DataAvailable(
        std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())));
}

void TForm1::positionRecorded() {
    // Let clicks, repaints and the tick run while a long chunk is decoded. Anything may
    // happen in there (STOP, Clear, a load, an auto-save): the decoder copes.
    if (m_sinceYield.elapsed() >= YieldIntervalMs) {
        QCoreApplication::processEvents();
        m_sinceYield.restart();
    }
}

void TForm1::furthestContactChanged() {
    showContactTexts();
}

// ---- The tick ------------------------------------------------------------------------------

void TForm1::Timer1Timer() {
    Decoder& d = m_station.decoder;
    StatusBar2->setText(0, QString::fromStdString(m_rateHistory.UpdateRateStatus(
                               d.MsgsThisSecond, d.TotalMsgs, d.IgnoredMsgs)));
    drawPlot();
    if (!FeedRunning()) {
        return;
    }
    RunHousekeeping();
    QCoreApplication::processEvents();
}

void TForm1::drawPlot() {
    {
        QPainterCanvas canvas(m_plotImage);
        DrawRadarPlot(canvas, m_station.coverage.PlotData, tbrange->value(), tbalt->value());
    }
    Image1->setImage(m_plotImage);
}

void TForm1::RunHousekeeping() {
    HousekeepingInputs in;
    in.autoSave = autoSaveSettings();
    in.separators = {m_dateSeparator, m_timeSeparator};
    in.exportOutline = [this] { return exportOutline(Timer1); };
    const HousekeepingResult r = rizuzez::RunHousekeeping(m_station, in);
    if (r.cleared) {
        showContactTexts();
    }
    if (r.panel4) {
        StatusBar1->setText(4, QString::fromStdString(*r.panel4));
    }
}

void TForm1::tbrangeChange() {
    Label15->setText(QString::fromStdString(rizuzez::tbrangeChange(tbrange->value())));
}

void TForm1::SaveOUTfile2Click() {
    const AutoSavePanels p = rizuzez::SaveOUTfile2Click(autoSaveSettings());
    if (p.panel0) {
        StatusBar1->setText(0, QString::fromStdString(*p.panel0));
    }
    StatusBar1->setText(1, QString::fromStdString(p.panel1));
    StatusBar1->setText(3, QString::fromStdString(p.panel3));
    StatusBar1->setText(2, QString::fromStdString(p.panel2));
}

// ---- Menu commands -------------------------------------------------------------------------

void TForm1::Button2Click() {
    if (m_setup.dialogs->question(
            QStringLiteral("Rizuzez-1"),
            QStringLiteral("Are you sure to clear all plotted data in memory?"),
            Dialogs::Icon::Warning)) {
        ClearCoverage(m_station.coverage);
        showContactTexts();
    }
}

void TForm1::Clear1Click() {
    Button2Click();
}

void TForm1::Exit1Click() {
    // Ends the program without the closing steps: no configuration written, no plot saved.
    QCoreApplication::exit(0);
}

void TForm1::Save1Click() {
    savePlot("");
}

void TForm1::Saveplotfilewithdate1Click() {
    savePlot("date");
}

void TForm1::Loadfile1Click() {
    loadPlot("");
}

void TForm1::Loadplotfilewithname1Click() {
    loadPlot("date");
}

void TForm1::savePlot(const char* mode) {
    const SaveResult r = m_station.savePlotFiles(mode);
    if (!r.failed.empty()) {
        QStringList names;
        for (const std::string& f : r.failed) {
            names << fromLocal(f);
        }
        m_setup.dialogs->error(QStringLiteral("Cannot write the plot file(s):\n") +
                               names.join(QLatin1Char('\n')));
    }
}

void TForm1::loadPlot(const char* mode) {
    DialogQuestions questions(*m_setup.dialogs);
    const LoadResult r = m_station.loadPlotFiles(mode, questions);
    showContactTexts();
    if (r.datDamaged || r.maxDamaged) {
        m_setup.dialogs->error(QStringLiteral("The plot file ") +
                               fromLocal(r.baseName + (r.datDamaged ? ".dat" : ".max")) +
                               QStringLiteral(" is damaged and was not loaded."));
    }
}

void TForm1::Saveoutfile1Click(QObject* Sender) {
    exportOutline(Sender);
}

bool TForm1::exportOutline(QObject* Sender) {
    const FlagGuard saving(m_station.SavingInProgress);
    ledbs->setTrueColor(Lamp::Yellow);
    const auto restore = qScopeGuard([this] { ledbs->setTrueColor(Lamp::Lime); });
    const bool timed = Sender == Timer1;

    const QDir folder(m_setup.outlinesDir);
    if (!folder.exists()) {
        if (!timed) {
            m_setup.dialogs->error(QStringLiteral("Cannot find outlines folder"));
            return false;
        }
        QDir().mkpath(m_setup.outlinesDir);
    }
    const OutlineSender kind = Sender == Saveoutfilewithdate1 ? OutlineSender::Saveoutfilewithdate1
                               : timed                        ? OutlineSender::Timer1
                                                              : OutlineSender::Saveoutfile1;
    const QString name = QString::fromStdString(outlineFileName(kind, m_station.clock().now()));
    const QString path = folder.filePath(name);
    if (!timed && QFileInfo::exists(path)) {
        if (!m_setup.dialogs->question(
                name, QStringLiteral("Existing plot file will be overwritten. Continue?"),
                Dialogs::Icon::Warning)) {
            return false;
        }
    }
    const bool written =
        WriteOutlineFile(toLocal(path), m_station.coverage.PlotData, m_station.decoder.homeLat(),
                         m_station.decoder.homeLon(), m_decimalSeparator);
    if (!written && !timed) {
        m_setup.dialogs->error(QStringLiteral("Cannot write ") + path);
    }
    return written;
}

} // namespace rizuzez
