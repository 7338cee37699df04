#pragma once
// EStopOnContinueOperator: raised during evaluation to end it with a "no":
// TParseVerifier::Verify answers false. A silent exception.

#include "platform/rtl/exceptions.h"

namespace dac {

DAC_DECLARE_EXCEPTION(EStopOnContinueOperator, EAbort);

}  // namespace dac
