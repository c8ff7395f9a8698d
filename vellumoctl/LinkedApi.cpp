#include "Commands.h"

DmpVellumoApi LinkedDmpVellumoApi() {
    DmpVellumoApi api;
#define DMP_BOUND_EXPORT(name) api.name = &::name;
#define DMP_OTHER_EXPORT(name)
#include "dmp_vellumo_exports.def"
#undef DMP_BOUND_EXPORT
#undef DMP_OTHER_EXPORT
    return api;
}
