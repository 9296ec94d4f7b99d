#include "istream_bio.h"

#include <openssl/bio.h>

namespace zorva::plugin::crypto {
namespace {

int readStream(BIO* bio, char* buffer, int size) {
    auto* stream = static_cast<std::istream*>(BIO_get_data(bio));
    stream->read(buffer, size);
    return static_cast<int>(stream->gcount());
}

long control(BIO* bio, int command, long, void*) {
    if (command == BIO_CTRL_EOF) return static_cast<std::istream*>(BIO_get_data(bio))->eof();
    // OpenSSL asks a source BIO to flush while it finishes a digest chain.
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD* streamMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* created = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "istream");
        BIO_meth_set_read(created, readStream);
        BIO_meth_set_ctrl(created, control);
        BIO_meth_set_create(created, [](BIO* bio) {
            BIO_set_init(bio, 1);
            return 1;
        });
        return created;
    }();
    return method;
}

}  // namespace

BIO* istreamBio(std::istream& stream) {
    BIO* bio = BIO_new(streamMethod());
    if (bio) BIO_set_data(bio, &stream);
    return bio;
}

}  // namespace zorva::plugin::crypto
