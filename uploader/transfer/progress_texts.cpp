#include "uploader/transfer/progress_texts.h"

#include <cstdio>

#include "common/size_text.h"

namespace quenvara::transfer {
namespace {

// An empty file or an empty run is complete, not "nan%".
double percent(double done, double total) {
    return total > 0 ? done / total * 100.0 : 100.0;
}

}  // namespace

std::string sizeForm(double v) {
    return formatSize(v, 2);
}

std::string fileBarText(double done, double total, bool kind4) {
    return sizeForm(done) + (kind4 ? "  / " : " / ") + sizeForm(total) + " ";
}

std::string sizeSummaryText(double done, double total, bool kind4, bool afterChunk) {
    return sizeForm(done) + (kind4 && afterChunk ? "  / " : " / ") + sizeForm(total) + " ";
}

std::string rowPercentText(double done, double total) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%0.0lf%s", percent(done, total), "%");
    return buf;
}

std::string overallPercentText(double done, double total) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%0.1lf %s", percent(done, total), "%");
    return buf;
}

}  // namespace quenvara::transfer
