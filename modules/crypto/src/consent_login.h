#pragma once

#include "consent.h"
#include "unlocked_key.h"

#include <memory>
#include <vector>

namespace zorva::plugin::crypto {

// Asks the user which key may sign and for its PIN, and logs in. The request
// carries origin, operation, documents and the page's choice; the
// certificates are filled in here. A wrong PIN keeps the question open with the
// reason and the attempts left; a locked PIN ends with CryptokiException 164; a cancel on
// the PIN pad, like one in the dialog, is ApplicationException Cancelled.
std::unique_ptr<UnlockedKey> unlockWithConsent(IConsent& consent, ConsentRequest request,
                                               const std::vector<SigningCertificate>& candidates);

}  // namespace zorva::plugin::crypto
