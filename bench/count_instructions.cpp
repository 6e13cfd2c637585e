// The host loop whose instructions bench/count-instructions.sh counts with callgrind: it loads a
// plug-in, runs warm-up blocks of noise, then the counted blocks of processReplacing (or
// processDoubleReplacing) with callgrind's collection switched on around them only, and prints the
// channel-frames it processed, by which the script divides the count.
//
//   count_instructions PLUGIN FRAMES BLOCKS [float|double]
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "bench/HostedPlugin.h"
#include "tools/support/ChannelBuffers.h"

namespace {

template <typename Sample>
void Run(const bench::HostedPlugin& hosted, VstInt32 frames, long blocks) {
    const int channels = hosted.channels();
    vsthost::ChannelBuffers<Sample> in(channels, frames), out(channels, frames);
    std::mt19937 random(1);
    in.fillNoise(random);
    for (int warmUp = 0; warmUp < 64; ++warmUp) hosted.process(in.pointers(), out.pointers(), frames);
    CALLGRIND_TOGGLE_COLLECT;
    for (long block = 0; block < blocks; ++block) hosted.process(in.pointers(), out.pointers(), frames);
    CALLGRIND_TOGGLE_COLLECT;
    std::printf("channel-frames %ld\n", blocks * frames * channels);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || (argc == 5 && std::strcmp(argv[4], "float") != 0 && std::strcmp(argv[4], "double") != 0)) {
        std::fprintf(stderr, "usage: %s PLUGIN FRAMES BLOCKS [float|double]\n", argv[0]);
        return 2;
    }
    const auto frames = static_cast<VstInt32>(std::atoi(argv[2]));
    const long blocks = std::atol(argv[3]);
    if (frames <= 0 || blocks <= 0) {
        std::fprintf(stderr, "FRAMES and BLOCKS must be positive\n");
        return 2;
    }
    const bench::HostedPlugin hosted(argv[1], frames);
    if (argc == 5 && std::strcmp(argv[4], "double") == 0) Run<double>(hosted, frames, blocks);
    else Run<float>(hosted, frames, blocks);
    return 0;
}
