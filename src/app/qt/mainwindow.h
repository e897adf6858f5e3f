// The main window: every control of the station, the menu and the one-second tick, driving
// the core object Station.
#pragma once

#include "app/autosave.h"
#include "app/station.h"
#include "display/status.h"

#include <QElapsedTimer>
#include <QImage>
#include <QLocale>
#include <QMainWindow>
#include <QString>

#include <cstdint>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;

namespace rizuzez {

class Dialogs;
class FeedClient;
class Lamp;
class PanelBar;
class PlotView;

class TForm1 : public QMainWindow, private FeedSink {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 448;
    static constexpr int ClientHeight = 393;
    // While a chunk is decoded the window gets its turn at most this often (ms): responsive
    // enough for clicks and the tick, cheap enough for a busy feed.
    static constexpr int YieldIntervalMs = 10;

    struct Setup {
        QString dataDir;     // plot files, configuration, blacklist, log
        QString outlinesDir; // outline files ("outlines" beside the program)
        const Clock* clock = nullptr;
        Dialogs* dialogs = nullptr;
        QLocale locale = QLocale::system(); // decimal, date and time separators
    };

    explicit TForm1(const Setup& setup, QWidget* parent = nullptr);
    ~TForm1() override;

    Station& station() { return m_station; }
    const Station& station() const { return m_station; }

    // The start-up sequence: writes the auto-save indicator panels and the range label from
    // the controls as they stand, so whatever sets the controls (the configuration) runs first.
    void FormCreate();

    // Run state: true exactly while the START/STOP button reads "STOP".
    bool FeedRunning() const;
    // The AutoSave menu's check marks. Setting them runs no handler; any combination may be
    // set, also one with no interval item checked.
    AutoSaveSettings autoSaveSettings() const;
    void setAutoSaveSettings(const AutoSaveSettings& settings);

    // Shows the furthest-contact texts held by the coverage in Edit5..Edit10.
    void showContactTexts();

    // Event handlers, named after the control and the event.
    void Button1Click();
    void Button2Click();
    void Clear1Click();
    void Exit1Click();
    void Timer1Timer();
    void tbrangeChange();
    void SaveOUTfile2Click();
    void Save1Click();
    void Saveplotfilewithdate1Click();
    void Loadfile1Click();
    void Loadplotfilewithname1Click();
    void Saveoutfile1Click(QObject* Sender);
    void IdTelnet1Connected();
    void IdTelnet1Disconnected();
    void IdTelnet1DataAvailable(const QByteArray& chunk);

    // The feed port from the configuration; START uses it (the port box is not read).
    std::int32_t TelnetPort = 30003;

    // Controls, by their names; the start-up and configuration code reads and sets them.
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9,
        *Label10, *Label11, *Label12, *Label13, *Label14, *Label15, *Label16, *Label17, *Label18,
        *Label19;
    QLineEdit *Edit1, *Edit2, *Edit3, *Edit4, *Edit5, *Edit6, *Edit7, *Edit8, *Edit9, *Edit10;
    Lamp* ledbs;
    QGroupBox* Flights;
    QComboBox* ComboBox1;
    QCheckBox* CheckBox1;
    QPushButton* Button1;
    QFrame* Panel1;
    QFrame* Panel2;
    PlotView* Image1;
    QSlider* tbrange;
    QSlider* tbalt;
    PanelBar* StatusBar2; // upper: the rate line
    PanelBar* StatusBar1; // lower: auto-save indicators and the next save time
    QTimer* Timer1;
    FeedClient* IdTelnet1;

    QAction *Loadfile1, *Loadplotfilewithname1, *Save1, *Saveplotfilewithdate1, *Saveoutfile1,
        *Saveoutfilewithdate1;
    QAction *Noautosave1, *Saveevery1hour1, *Saveevery6hours1, *Saveevery12hours1,
        *Saveevery24hours1, *Saveplotfile1, *SaveOUTfile2, *clear2;
    QAction *Clear1, *Exit1;
    QActionGroup* AutoSaveInterval;

protected:
    // The window's size never changes: a maximise (from any side) is undone.
    void changeEvent(QEvent* event) override;
    // The housekeeping step of a running tick.
    virtual void RunHousekeeping();
    // FeedSink: a position reached the table (the window yields to the event loop here), a new
    // furthest contact is in the record.
    void positionRecorded() override;
    void furthestContactChanged() override;

private:
    void buildControls();
    void buildMenu();
    void startFeed();
    void stopFeed();
    void setLocked(bool locked);
    void drawPlot();
    void savePlot(const char* mode);
    void loadPlot(const char* mode);

    // The outline export of Saveoutfile1Click; false when nothing was written.
    bool exportOutline(QObject* Sender);

    Setup m_setup;
    Station m_station;
    char m_decimalSeparator = '.';
    char m_dateSeparator = '/';
    char m_timeSeparator = ':';
    QImage m_plotImage;
    QElapsedTimer m_sinceYield;
    bool m_starting = false;
    RateHistory m_rateHistory;
};

} // namespace rizuzez
