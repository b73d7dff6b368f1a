// The report of Save Report: the matched pairs below an element that differ, with
// the attributes and text that differ, the other file's values in comments, and the
// children that only one side has. Members of XMLTreeItem, defined in ReportWriter.cpp.
#pragma once

struct XMLTreeItem;

// The attribute-difference text of one reported element.
constexpr int kReportBufferUnits = 4096;

// Whether a report of the element holds anything: it is compared, has a partner and
// differs from it. Otherwise the report would be the XML declaration alone, which no
// parser reads, and no file is written.
bool reportHoldsAnything(const XMLTreeItem& element);
