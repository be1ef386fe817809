#pragma once

#include "results/ProgressIndicator.h"

#include <QString>

namespace results {

// What the results handlers read from and change on the main window.
class ResultsView {
public:
    virtual ~ResultsView() = default;
    // Returns the window's mouse pointer value: 0 arrow, 11 busy.
    virtual int mousePointer() const = 0;
    // Sets the window's mouse pointer value.
    virtual void setMousePointer(int value) = 0;
    // Returns the title of message and input boxes that have none of their own.
    virtual QString applicationTitle() const = 0;
    // Returns the window's progress bar.
    virtual ProgressIndicator &progress() = 0;
};

} // namespace results
