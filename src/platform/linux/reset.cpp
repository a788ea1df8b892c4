// The one reset of the Linux layer's state, as resetRun() is the logic's:
// a piece of state added to the layer gets its line here.
#include "platform/linux/image_route.h"
#include "platform/linux/linux_internal.h"

namespace vesk {
namespace platform {

void resetLayer() {
  closeStartImage();
  releaseHeldDirectory();
  resetReaderMemory();
  releaseDescriptorBuffer();
  resetEvidenceNames();
#if VESK_WITH_WINBIND
  resetWinbind();
#endif
  resetLastError();
}

}  // namespace platform
}  // namespace vesk
