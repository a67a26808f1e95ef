// libFuzzer entry: A log file, recorder lines among rubbish, read back through the replay reader.
// The rules are held in FuzzChecks.cpp, so that the corpus test replays them in every build.

#include "fuzz/FuzzChecks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString problem =
        checkReplayFile(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "checkReplayFile: %s\n", problem.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
