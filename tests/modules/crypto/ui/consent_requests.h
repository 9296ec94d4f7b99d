#pragma once

// What a signing portal asks the user in the consent tests.

#include "consent.h"

namespace zorva::plugin::test {

// Three documents, three certificates of one token (the second expired), the
// third named by the page.
inline crypto::ConsentRequest portalRequest() {
    crypto::ConsentRequest request;
    request.origin = "https://portal.example";
    request.operation = "Sign 3 documents";
    request.documents = {{"contract.pdf", 20 * 1024 * 1024, "9f86d081884c7d65"},
                         {"annex.txt", 15, "e3b0c44298fc1c14"},
                         {"Приложение.docx", 1536, "2c26b46b68ffc68f"}};
    const crypto::ConsentToken token{"Ivan's token", false, false, false};
    request.certificates = {
        {"rsa", "CN=Ivan Petrov, O=Example", "CN=Test CA", "2027-12-08 09:00:00", false, token},
        {"old", "CN=Ivan Petrov, O=Old", "CN=Test CA", "2021-01-01 00:00:00", true, token},
        {"ec", "CN=Ivan Petrov (EC)", "CN=Test CA", "2028-06-30 12:00:00", false, token}};
    request.preselectedId = "ec";
    request.level = "CAdES-T";
    request.timestampHost = "tsa.example.org";
    return request;
}

}  // namespace zorva::plugin::test
