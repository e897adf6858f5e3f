// The window's message boxes and file dialog, behind a seam so tests can answer them.
#pragma once

#include <QString>

class QWidget;

namespace rizuzez {

// Contract: every call is modal and returns the operator's answer; the event loop may run
// while it is open.
class Dialogs {
public:
    enum class Icon { Question, Warning };
    virtual ~Dialogs() = default;
    // An OK box with the error icon and the caption "Rizuzez-1".
    virtual void error(const QString& text) = 0;
    // A Yes/No box; true for Yes (closing the box counts as No).
    virtual bool question(const QString& caption, const QString& text, Icon icon) = 0;
    // The plot-file open dialog ("Rizuzez1 plot files", *.max, existing files only) starting
    // in dir; the chosen path, or empty when cancelled.
    virtual QString chooseFile(const QString& dir) = 0;
};

// The real boxes (QMessageBox, QFileDialog) on top of a parent window.
class MessageBoxDialogs final : public Dialogs {
public:
    explicit MessageBoxDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void error(const QString& text) override;
    bool question(const QString& caption, const QString& text, Icon icon) override;
    QString chooseFile(const QString& dir) override;

private:
    QWidget* m_parent;
};

} // namespace rizuzez
