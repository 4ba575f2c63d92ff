// libFuzzer target: any bytes as an installation file, run procedure by procedure.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzRun.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::RunInput(data, size, "C:\\fuzz\\setup.pxf");
    return 0;
}
