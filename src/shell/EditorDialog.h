#pragma once

#include "results/EditorCatalog.h"

#include <QDialog>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace shell {

// The "Choose Editor" dialog (reported as "Form3"): the editors found on this computer, and
// the command line the "Editor" setting keeps (%f the file, %l the line; left empty, the
// desktop's default application for text files opens rows).
class EditorDialog : public QDialog {
    Q_OBJECT
public:
    // Offers the choices, with the command box holding the current setting.
    EditorDialog(const std::vector<results::EditorChoice> &choices, const QString &setting,
                 QWidget *parent);

    // Returns the command line as it stands in the box, without outer blanks.
    QString command() const;

    QComboBox *editorList = nullptr;
    QLineEdit *commandBox = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;
};

} // namespace shell
