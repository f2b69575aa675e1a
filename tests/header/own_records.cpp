// A host that has its own records includes the header after them: the
// parameter block, the exports and the version stay, and the operations'
// types are the host's.
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace renderer {

struct Rgba {
    float r, g, b, a;
};
struct Vec {
    float x, y, z;
};
struct Record {
    char bookkeeping[96];
    int32_t link_offset;
};
struct State {
    char bookkeeping[64];
    int32_t ray_type;
    char more[244];
    const Record* shader;
    State* child;
};

} // namespace renderer

typedef renderer::Rgba Color;
typedef renderer::Vec Vector3;
typedef uint32_t Tag;
typedef renderer::Record ShaderRecord;
typedef renderer::State RenderState;

#define QORV_XRAYTEXTURE_NO_HOST_RECORDS
#include <qorv_xraytexture.h>

static_assert(QORV_XRAYTEXTURE_VERSION == 2, "the version stays");
static_assert(offsetof(XrayParams, light) == 64, "the block stays");
static_assert(std::is_same_v<qorv_xraytexture_fn,
                             int32_t (*)(renderer::Rgba*, renderer::State*, XrayParams*)>,
              "the exports take the host's records");
static_assert(std::is_same_v<mi_phen_eval_fn, void* (*)(renderer::State*, void*)>,
              "the operations take the host's records");
