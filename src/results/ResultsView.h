#pragma once

#include "results/ProgressIndicator.h"
#include "run/Activity.h"

#include <QString>

namespace results {

// The header of the results list's one column, which the exports write first.
inline const QString resultsHeader = QStringLiteral("Results");

// What the results handlers read from and change on the main window.
class ResultsView {
public:
    virtual ~ResultsView() = default;
    // Sets what the program is doing; the window's pointer follows.
    virtual void setActivity(run::Activity activity) = 0;
    // Returns the title of message and input boxes that have none of their own.
    virtual QString applicationTitle() const = 0;
    // Returns the window's progress bar.
    virtual ProgressIndicator &progress() = 0;
};

} // namespace results
