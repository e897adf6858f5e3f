// Message boxes and the plot-file dialog.
#include "app/qt/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

namespace rizuzez {
namespace {

// A box asked before the window shows (start-up) has no window to sit on: it stands alone.
// Either way it opens in front of everything and takes the keyboard. Closing it never ends the
// program, even while the main window sits in the tray.
int runInFront(QMessageBox& box) {
    box.setAttribute(Qt::WA_QuitOnClose, false);
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    return box.exec();
}

} // namespace

QWidget* MessageBoxDialogs::owner() const {
    return m_parent && m_parent->isVisible() ? m_parent.data() : nullptr;
}

void MessageBoxDialogs::error(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Rizuzez-1"), text, QMessageBox::Ok,
                    owner());
    runInFront(box);
}

bool MessageBoxDialogs::question(const QString& caption, const QString& text, Icon icon) {
    QMessageBox box(icon == Icon::Question ? QMessageBox::Question : QMessageBox::Warning, caption,
                    text, QMessageBox::Yes | QMessageBox::No, owner());
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return runInFront(box) == QMessageBox::Yes;
}

QString MessageBoxDialogs::chooseFile(const QString& dir) {
    QFileDialog dialog(owner());
    dialog.setDirectory(dir);
    dialog.setNameFilter(QStringLiteral("Rizuzez1 plot files (*.max)"));
    dialog.setDefaultSuffix(QStringLiteral("max"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

} // namespace rizuzez
