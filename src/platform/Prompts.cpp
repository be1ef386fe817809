#include "Prompts.h"

#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

namespace platform {

namespace {

// Texts separate their lines with CR LF or a lone CR; labels break lines at LF only.
QString withLineFeeds(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

Answer QtPrompts::message(const QString &text, const QString &title, Icon icon, Buttons buttons)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(withLineFeeds(text));
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return buttons == Buttons::Ok         ? Answer::Ok
               : buttons == Buttons::OkCancel ? Answer::Ok
                                              : Answer::Cancel;
    }
}

QString QtPrompts::input(const QString &prompt, const QString &title, const QString &defaultText)
{
    QInputDialog box(m_parent);
    box.setWindowTitle(title);
    box.setLabelText(withLineFeeds(prompt));
    box.setTextValue(defaultText);
    // A prompt is plain text, never markup.
    for (QLabel *label : box.findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
}

} // namespace platform
