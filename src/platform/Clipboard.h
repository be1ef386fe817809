#pragma once

#include <QString>

namespace platform {

// The system clipboard, plain text only.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Empties the clipboard.
    virtual void clear() = 0;
    // Puts plain text on the clipboard; returns false when it is busy.
    virtual bool setText(const QString &text) = 0;
    // Returns the plain text on the clipboard.
    virtual QString text() = 0;
};

} // namespace platform
