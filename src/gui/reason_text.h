#pragma once

#include "run/reason.h"

#include <QString>

// The window's words for what became of a file. Short, so that a list of
// passed-over files stays readable in the closing message.
QString reasonText(shotdate::Reason reason);
