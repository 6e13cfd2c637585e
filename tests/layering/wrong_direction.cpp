// Compiled only by the layering checks, with one library's include paths: the first header belongs
// to that library and must be found, the second to a layer above it and must not be.
#include LAYER_HEADER
#include HIGHER_HEADER
