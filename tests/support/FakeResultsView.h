#pragma once

#include "results/ResultsView.h"

#include <QStringList>
#include <vector>

namespace fakes {

// A main window as the results handlers see it: records every activity, progress value and
// caption it is given.
class FakeResultsView : public results::ResultsView, public results::ProgressIndicator {
public:
    void setActivity(run::Activity value) override;
    QString applicationTitle() const override { return title; }
    results::ProgressIndicator &progress() override { return *this; }
    void setValue(double value) override;
    void setText(const QString &text) override;

    run::Activity activity = run::Activity::Idle;
    QString title = QStringLiteral("Lumbrex");
    std::vector<run::Activity> activities;
    std::vector<double> values;
    QStringList captions; // each caption change, in order (repeats of the same caption once)
    QString caption = QStringLiteral("Progress Bar");
    double value = 0;
};

} // namespace fakes
