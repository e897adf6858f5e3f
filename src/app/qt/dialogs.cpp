// Message boxes and the plot-file dialog.
#include "app/qt/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace rizuzez {

void MessageBoxDialogs::error(const QString& text) {
    QMessageBox::critical(m_parent, QStringLiteral("Rizuzez-1"), text, QMessageBox::Ok);
}

bool MessageBoxDialogs::question(const QString& caption, const QString& text, Icon icon) {
    QMessageBox box(icon == Icon::Question ? QMessageBox::Question : QMessageBox::Warning, caption,
                    text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString MessageBoxDialogs::chooseFile(const QString& dir) {
    QFileDialog dialog(m_parent);
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
