# Sourced by the scripts that drive norvale-render (checkpoint, drivers,
# benchmarks, soak): one start-up check for all of them.
# require_render NAME BINARY: stops with status 1 and a line naming the
# script when the renderer is not built, or when the working directory is
# not a repository root with its data generated.
require_render() {
    if [ ! -x "$2" ]; then
        echo "$1: $2 is not built"
        exit 1
    fi
    if [ ! -f data/heightmap.jpg ] || [ ! -f data/preview_kovi.mp3 ]; then
        echo "$1: run from the repository root after the data is generated"
        exit 1
    fi
}
