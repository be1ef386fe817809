#pragma once

#include <QCursor>
#include <QDialog>
#include <QHash>
#include <optional>

class QComboBox;
class QGroupBox;
class QPushButton;

namespace shell {

class MainWindow;

// The lines-above-and-below dialog (reported as "Form2"): two lists of 0 to 12 whose every pick is
// stored at once as "Combo2" (lines above) and "Combo3" (lines below). Created prepared (its
// opening steps have run); discarded when it closes.
class LinesDialog : public QDialog {
    Q_OBJECT
public:
    explicit LinesDialog(MainWindow &owner);

    // Shows the dialog modally over the main window and returns when it has closed.
    void showModal();
    // Runs the becoming-active steps: both lists from the store.
    void restoreChoices();
    // The Close button: marks the dialog as seen and discards it.
    void closeClicked();

    QGroupBox *linesAboveFrame = nullptr;
    QGroupBox *linesBelowFrame = nullptr;
    QComboBox *linesAboveList = nullptr;
    QComboBox *linesBelowList = nullptr;
    QPushButton *closeButton = nullptr;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void prepare();
    void selectStored(QComboBox *list, const QString &key);
    void store(QComboBox *list, const QString &key);
    void checkNumeric(QComboBox *list);

    // Marks the time a message box of the dialog's own may be showing.
    struct OwnMessages {
        explicit OwnMessages(LinesDialog &dialog) : count(dialog.m_ownMessages) { ++count; }
        ~OwnMessages() { --count; }
        OwnMessages(const OwnMessages &) = delete;
        OwnMessages &operator=(const OwnMessages &) = delete;
        int &count;
    };

    MainWindow &m_owner;
    std::optional<QCursor> m_handPointer;
    bool m_activated = false;
    int m_ownMessages = 0;
    // The stored texts, by key, that could not be selected and were reported.
    QHash<QString, QString> m_badValues;
};

} // namespace shell
