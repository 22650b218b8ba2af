// Job files come from anywhere: any bytes must end in a job or a reason, never a crash. A job that
// was read must write back to text that reads as the same job.
#include "job/jobfile.h"

#include <QDir>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    const QDir base(QStringLiteral("/nonexistent/jobs"));
    job::JobSetup setup;
    QString error;
    if (!job::parseJob(text, base, setup, error)) {
        if (error.isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    job::JobSetup again;
    if (!job::parseJob(job::serializeJob(setup, base), base, again, error)
        || job::serializeJob(again, base) != job::serializeJob(setup, base))
        std::abort();
    return 0;
}
