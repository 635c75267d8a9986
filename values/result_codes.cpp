#include "values/result_codes.h"

namespace qf {

namespace {

constexpr ResultCodeInfo kResultCodes[] = {
    {kResultOk, "Ok", "success"},
    {kResultRefused, "Refused", "the filter refused to run on this document"},
    {kResultNoRenderBuffers, "NoRenderBuffers", "the filter could not allocate its render buffers"},
    {kResultBadRequest, "BadRequest", "the filter made an invalid request"},
    {kResultOutOfMemory, "OutOfMemory", "out of memory"},
    {kResultCancelled, "Cancelled", "cancelled"},
    {kResultRecordsMissing, "RecordsMissing", "the filter's settings records are missing"},
    {kResultHostInsufficient, "HostInsufficient",
     "the filter needs features this host does not offer"},
    {kResultReportString, "ReportString", "the filter reported an error"},
};

} // namespace

const ResultCodeInfo* resultCodeInfo(int16_t code) {
    for (const ResultCodeInfo& info : kResultCodes)
        if (info.code == code) return &info;
    return nullptr;
}

} // namespace qf
