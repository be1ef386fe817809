#pragma once

#include <QString>

namespace results {

// A progress indicator with a value from 0 to 100 and a caption drawn on it.
class ProgressIndicator {
public:
    virtual ~ProgressIndicator() = default;
    // Sets the value; values slightly above 100 may arrive and are the indicator's to clamp.
    virtual void setValue(double value) = 0;
    // Sets the caption.
    virtual void setText(const QString &text) = 0;
};

} // namespace results
