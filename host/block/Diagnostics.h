// Compiler-style reports of the four compile results.
#pragma once

#include <cstdio>

#include "FilterParams.h"
#include "InstanceState.h"
#include "Render.h"

// For each failed formula: the channel, the text and a marker line under the
// error span (a caret for an empty span). `severity` is "error" or "warning".
void PrintDiagnostics(const InstanceState* state, const FilterParams* params, const char* severity, FILE* out);

// Compiles the state's own block, reports its failed formulas on stderr as
// PrintDiagnostics does (unless `severity` is null) and decodes the four
// programs for the executors.
void CompileReportDecode(InstanceState* state, FormulaPrograms* programs, const char* severity);

// One JSON object with the four results in index order, each failure with
// its cause in words ("message", empty for a formula that compiled).
void PrintCompileJson(const InstanceState* state, const FilterParams* params, FILE* out);

bool AnyFormulaFailed(const InstanceState* state);
