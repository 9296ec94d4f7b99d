#include <gtest/gtest.h>

#include "secret.h"

#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

using zorva::plugin::cryptoki::Secret;

template <class T, class = void>
struct Streamable : std::false_type {};
template <class T>
struct Streamable<T, std::void_t<decltype(std::declval<std::ostream&>() << std::declval<T>())>>
    : std::true_type {};

static_assert(!std::is_copy_constructible_v<Secret> && !std::is_copy_assignable_v<Secret>,
              "a secret must not be copied");
static_assert(!Streamable<const Secret&>::value, "a secret must not reach a stream");

std::string textOf(const Secret& secret) {
    return std::string(reinterpret_cast<const char*>(secret.bytes()), secret.size());
}

TEST(Secret, MovingHandsTheBytesOverAndEmptiesTheSource) {
    Secret first("123456", 6);
    Secret second("0000", 4);

    second = std::move(first);
    Secret third(std::move(second));

    EXPECT_TRUE(first.empty());
    EXPECT_TRUE(second.empty());
    EXPECT_EQ(textOf(third), "123456");
}

TEST(Secret, AnEmptySecretHasNoBytes) {
    const Secret pinPad;
    const Secret typedEmpty("", 0);

    EXPECT_TRUE(pinPad.empty());
    EXPECT_TRUE(typedEmpty.empty());
}

}  // namespace

namespace {

// The PIN field grows its secret a character at a time and takes characters
// back; past the first page the bytes move to larger pages.
TEST(Secret, GrowsAndShrinksInPlaceOfACopy) {
    struct Case {
        const char* name;
        std::string start;
        std::vector<std::string> appended;
        std::size_t keep;
        std::string expected;
    };
    const std::string page(4096, 'p');
    const Case cases[] = {
        {"typed from nothing", "", {"1", "2", "3"}, 3, "123"},
        {"one taken back", "12", {"3"}, 2, "12"},
        {"all taken back", "12", {}, 0, ""},
        {"keep more than held", "12", {}, 5, "12"},
        {"past one page", "x", {page, "y"}, page.size() + 2, "x" + page + "y"},
    };
    for (const Case& c : cases) {
        Secret secret(c.start.data(), c.start.size());
        for (const std::string& bytes : c.appended) secret.append(bytes.data(), bytes.size());
        secret.truncate(c.keep);
        EXPECT_EQ(textOf(secret), c.expected) << c.name;
    }
}

}  // namespace
