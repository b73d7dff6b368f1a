// The report of Save Report: the matched pairs below an element that differ, with
// the attributes and text that differ, the other file's values in comments, and the
// children that only one side has. Members of XMLTreeItem, defined in ReportWriter.cpp.
#pragma once

#include "model/XMLTreeItem.h"

// The attribute-difference text of one reported element: at most the whole attribute text
// and its terminator, so that every changed attribute the record holds fits.
constexpr int kReportBufferUnits = static_cast<int>(kMaxTextUnits) + 1;

// Whether a report of the element holds anything: it is compared, has a partner and
// differs from it. Otherwise the report would be the XML declaration alone, which no
// parser reads, and no file is written.
bool reportHoldsAnything(const XMLTreeItem& element);
