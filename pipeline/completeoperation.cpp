#include "pipeline/completeoperation.h"

#include "disk/tracelog.h"

CompleteOperation::CompleteOperation() { TraceLog(L"CompleteOperation create"); }
