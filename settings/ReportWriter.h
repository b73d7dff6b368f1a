// The report of Save Report: the matched pairs below an element that differ, with
// the attributes and text that differ, the other file's values in comments, and the
// children that only one side has. Members of XMLTreeItem, defined in ReportWriter.cpp.
#pragma once

// The attribute-difference text of one reported element.
constexpr int kReportBufferUnits = 4096;
