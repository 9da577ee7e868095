// Feeds the job-file reader (.fotolista) with arbitrary bytes, as a user may
// open or drop any file, and checks the round trip: a job that is accepted,
// applied and written again reads back to the same file.

#include "core/job/jobfile.h"
#include "core/settings/jobsettings.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace fotolista;

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_jobfile: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const JobLoad load = parseJob(bytes, QStringLiteral("/trabajos"));
    check(load.job.has_value() == load.problem.isEmpty(), "a job refused without a reason, or with one and kept");
    if (!load.job)
        return 0;
    JobSettings settings(QStringLiteral("/programa/numeros"));
    const std::optional<WatermarkPlacement> placed = applyJob(*load.job, settings);
    const std::optional<QByteArray> written = jobBytes(settings, placed.value_or(WatermarkPlacement{}), nullptr);
    check(written.has_value(), "an accepted job cannot be written again");
    const JobLoad again = parseJob(*written, QStringLiteral("/otra"));
    check(again.job.has_value() && again.warnings.isEmpty(), "a written job does not read back");
    JobSettings back(QStringLiteral("/programa/numeros"));
    const std::optional<WatermarkPlacement> placedBack = applyJob(*again.job, back);
    check(jobBytes(back, placedBack.value_or(WatermarkPlacement{}), nullptr) == written,
          "the round trip changes the job");
    return 0;
}
