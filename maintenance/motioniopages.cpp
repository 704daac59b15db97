#include "motioniopages.h"

#include "page_io.h"
#include "page_multiple.h"
#include "page_sgammapid.h"
#include "page_single.h"

namespace mvx::maint {

void registerMotionTuningIoPages()
{
    registerSinglePage();
    registerMultiplePages();
    registerTuningPages();
    registerIoPages();
}

}  // namespace mvx::maint
