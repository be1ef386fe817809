#include "FakeResultsView.h"

namespace fakes {

void FakeResultsView::setActivity(run::Activity value)
{
    activity = value;
    activities.push_back(value);
}

void FakeResultsView::setValue(double v)
{
    value = v;
    values.push_back(v);
}

void FakeResultsView::setText(const QString &text)
{
    if (text != caption || captions.isEmpty())
        captions.append(text);
    caption = text;
}

} // namespace fakes
