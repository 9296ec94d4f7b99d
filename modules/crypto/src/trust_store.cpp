#include "trust_store.h"

#include <openssl/x509_vfy.h>

#include <boost/filesystem/operations.hpp>

namespace zorva::plugin::crypto {

X509StorePtr trustStoreOf(const std::string& path) {
    X509StorePtr store(X509_STORE_new());
    if (path.empty())
        X509_STORE_set_default_paths(store.get());
    else if (boost::filesystem::is_directory(path))
        X509_STORE_load_path(store.get(), path.c_str());
    else
        X509_STORE_load_file(store.get(), path.c_str());
    return store;
}

}  // namespace zorva::plugin::crypto
