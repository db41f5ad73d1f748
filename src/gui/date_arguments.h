#pragma once

#include "dates/date_rule.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// The values a run reads from the date controls.
struct DateControlValues {
    int shiteiTag = 0;          // 0 fixed date, other: shift
    int shiteiNichijiTag = 0;   // 0 date and time, 1 date only, other: time only
    QDateTime hiduke;           // the fixed-date picker
    QDateTime jikan;            // the fixed-time picker
    QString jisaNissu;          // days of a shift, as typed
    QTime jisaJikan;            // time part of a shift
    int susumuModoruTag = 0;    // 1 back, other: forward
};

// The wall-clock value of a local date and time, as the pickers show it.
shotdate::LocalSeconds toLocalSeconds(const QDate& date, const QTime& time);

// Mode, given date and shift of a run, worked out once from the controls.
// `now` is the given date of a shift run, which the rewrite does not use.
shotdate::DateArguments dateArgumentsFrom(const DateControlValues& values, const QDateTime& now);
