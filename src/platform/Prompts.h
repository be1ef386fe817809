#pragma once

#include <QString>

class QWidget;

namespace platform {

enum class Icon { None, Warning, Information, Question, Critical };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

// Message boxes and the input box: the only way the program asks the user something.
class Prompts {
public:
    virtual ~Prompts() = default;
    // Shows a modal message box and returns the button pressed.
    virtual Answer message(const QString &text, const QString &title, Icon icon,
                           Buttons buttons = Buttons::Ok) = 0;
    // Shows a modal input box; returns the typed text, or empty text on Cancel.
    virtual QString input(const QString &prompt, const QString &title,
                          const QString &defaultText = QString()) = 0;
};

// Prompts shown as real QMessageBox / QInputDialog windows over a parent window.
class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    Answer message(const QString &text, const QString &title, Icon icon, Buttons buttons) override;
    QString input(const QString &prompt, const QString &title, const QString &defaultText) override;

private:
    QWidget *m_parent;
};

} // namespace platform
