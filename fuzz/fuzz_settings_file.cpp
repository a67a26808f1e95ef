// libFuzzer entry: The settings file saved with seven values and loaded again.
// The rules are held in FuzzChecks.cpp, so that the corpus test replays them in every build.

#include "fuzz/FuzzChecks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString problem =
        checkSettingsFile(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "checkSettingsFile: %s\n", problem.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
