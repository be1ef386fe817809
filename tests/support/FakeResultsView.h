#pragma once

#include "results/ResultsView.h"

#include <QStringList>
#include <vector>

namespace fakes {

// A main window as the results handlers see it: records every pointer value, progress value
// and caption it is given.
class FakeResultsView : public results::ResultsView, public results::ProgressIndicator {
public:
    int mousePointer() const override { return pointer; }
    void setMousePointer(int value) override;
    QString applicationTitle() const override { return title; }
    results::ProgressIndicator &progress() override { return *this; }
    void setValue(double value) override;
    void setText(const QString &text) override;

    int pointer = 0;
    QString title = QStringLiteral("Lumbrex");
    std::vector<int> pointers;
    std::vector<double> values;
    QStringList captions; // each caption change, in order (repeats of the same caption once)
    QString caption = QStringLiteral("Progress Bar");
    double value = 0;
};

} // namespace fakes
