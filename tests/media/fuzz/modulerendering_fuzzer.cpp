// Any bytes as a tracker module: loaded by libmodplug with the player's settings and rendered
// for a few portions, past the song's end for short songs. No crash, no leak, no hang.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/modulerendering.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto module = ModuleRendering::load({data, size});
    if (!module)
        return 0;
    std::vector<std::uint8_t> portion(16384);
    for (int i = 0; i < 4; ++i)
        module->render(portion.data(), portion.size());
    module->rewind();
    module->render(portion.data(), portion.size());
    return 0;
}
