#pragma once

#include <QString>

namespace run {

// The settings keys a run's options are stored under. Each is the designer name of the
// window control that sets the option, which is also that control's object name.
inline const QString searchTextKey = QStringLiteral("Text1");
inline const QString matchCaseKey = QStringLiteral("Check1");
inline const QString oneLineKey = QStringLiteral("Check2");
inline const QString readAsWindows1252Key = QStringLiteral("Check3");
inline const QString regexKey = QStringLiteral("Check4");
inline const QString modeKey = QStringLiteral("Combo1");
inline const QString linesAboveKey = QStringLiteral("Combo2");
inline const QString linesBelowKey = QStringLiteral("Combo3");
inline const QString lineOnlyKey = QStringLiteral("Option1");
inline const QString fileAndLineKey = QStringLiteral("Option2");
inline const QString fileOnlyKey = QStringLiteral("Option3");
inline const QString lineNumbersKey = QStringLiteral("Check5");

} // namespace run
