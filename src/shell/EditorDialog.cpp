#include "EditorDialog.h"

#include "platform/ModuleNames.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace shell {

EditorDialog::EditorDialog(const std::vector<results::EditorChoice> &choices,
                           const QString &setting, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QLatin1String(platform::editorDialogModule));
    setWindowTitle(QStringLiteral("Choose Editor"));
    setModal(true);
    auto *layout = new QVBoxLayout(this);

    auto *listLabel = new QLabel(QStringLiteral("Editors found on this computer:"), this);
    editorList = new QComboBox(this);
    editorList->setObjectName(QStringLiteral("Combo4"));
    editorList->setAccessibleName(listLabel->text());
    listLabel->setBuddy(editorList);
    editorList->addItem(QStringLiteral("The desktop's default application for text files"),
                        QString());
    for (const results::EditorChoice &choice : choices)
        editorList->addItem(choice.name + QStringLiteral(": ") + choice.setting, choice.setting);
    layout->addWidget(listLabel);
    layout->addWidget(editorList);

    auto *commandLabel = new QLabel(
        QStringLiteral("Command line (%f is the file, %l the line; without %f the file goes "
                       "last):"),
        this);
    commandBox = new QLineEdit(setting, this);
    commandBox->setObjectName(QStringLiteral("Text2"));
    commandBox->setAccessibleName(QStringLiteral("Command line"));
    commandBox->setMinimumWidth(commandBox->fontMetrics().averageCharWidth() * 60);
    commandLabel->setBuddy(commandBox);
    layout->addWidget(commandLabel);
    layout->addWidget(commandBox);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton = buttons->button(QDialogButtonBox::Ok);
    okButton->setObjectName(QStringLiteral("Command1"));
    cancelButton = buttons->button(QDialogButtonBox::Cancel);
    cancelButton->setObjectName(QStringLiteral("Command2"));
    layout->addWidget(buttons);

    int current = editorList->findData(setting.trimmed());
    if (current < 0) {
        current = 1;
        editorList->insertItem(current, QStringLiteral("As set now: ") + setting, setting);
    }
    editorList->setCurrentIndex(current);
    // A pick fills the box; the box may then be changed by hand.
    connect(editorList, &QComboBox::activated, this,
            [this](int index) { commandBox->setText(editorList->itemData(index).toString()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString EditorDialog::command() const
{
    return commandBox->text().trimmed();
}

} // namespace shell
