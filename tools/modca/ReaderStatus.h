// What the structured-field reader's refusals mean, worded for the tools'
// messages.
#ifndef VOKDSP_MODCA_READERSTATUS_H
#define VOKDSP_MODCA_READERSTATUS_H

#include <stdint.h>

namespace modca {

// The refusal a get-next status stands for, as a message.
const char *szFnRefusalText(uint32_t dwStatus);

}  // namespace modca

#endif
