// libFuzzer entry: The serial byte stream, cut into polls, through record framing and decoding.
// The rules are held in FuzzChecks.cpp, so that the corpus test replays them in every build.

#include "fuzz/FuzzChecks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString problem =
        checkSerialStream(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "checkSerialStream: %s\n", problem.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
