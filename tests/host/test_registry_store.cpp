#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/platform/registry_store.h"
#include "host/registry_test_support.h"

namespace Karsto {
namespace {

using test::ScopedEnv;

class RegistryStoreTest : public test::RegistryTest {
protected:
    RegistryStore store{root()};

    RegistryStatus set(RegistryKey& key, const std::string& name, const std::string& data,
                       uint32_t type = 1) {
        return key.setValue(name, type,
                            std::span(reinterpret_cast<const unsigned char*>(data.data()), data.size()));
    }
};

TEST_F(RegistryStoreTest, ValuesRoundTripThroughTheirFiles) {
    RegistryKey key;
    ASSERT_EQ(store.createKey("SOFTWARE\\Morvanek\\App", key), RegistryStatus::success);
    EXPECT_EQ(set(key, "nif", std::string("nc2\0", 4)), RegistryStatus::success);
    EXPECT_EQ(set(key, "raw", std::string("\x01\x00\xFF", 3), 3), RegistryStatus::success);
    EXPECT_EQ(set(key, "nif", std::string("html\0", 5)), RegistryStatus::success); // replaces
    EXPECT_EQ(set(key, "", "default"), RegistryStatus::success); // the unnamed value
    EXPECT_EQ(key.close(), RegistryStatus::success);

    const auto dir = keyDir("SOFTWARE/Morvanek/App");
    // No temporary file is left behind.
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{".val", "nif.val", "raw.val"}));
    EXPECT_EQ(bytesOf(dir / "nif.val"), valueFile(1, std::string("html\0", 5)));
    EXPECT_EQ(bytesOf(dir / "raw.val"), valueFile(3, std::string("\x01\x00\xFF", 3)));

    RegistryKey reader;
    ASSERT_EQ(store.openKey("SOFTWARE\\Morvanek\\App", reader), RegistryStatus::success);
    unsigned char buffer[8] = {};
    uint32_t type = 0;
    uint32_t size = 0;
    ASSERT_EQ(reader.queryValue("raw", type, buffer, size), RegistryStatus::success);
    EXPECT_EQ(type, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), std::string("\x01\x00\xFF", 3));
    EXPECT_EQ(reader.queryValue("missing", type, buffer, size), RegistryStatus::notFound);
}

TEST_F(RegistryStoreTest, ValueLongerThanTheBufferReportsItsLength) {
    RegistryKey key;
    ASSERT_EQ(store.createKey("K", key), RegistryStatus::success);
    ASSERT_EQ(set(key, "v", "12345678"), RegistryStatus::success);
    unsigned char buffer[9];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    uint32_t type = 0;
    uint32_t size = 0;
    EXPECT_EQ(key.queryValue("v", type, std::span(buffer, 7), size), RegistryStatus::moreData);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(type, 1u);
    EXPECT_EQ(buffer[0], '#'); // untouched
    // An exact fit is read and nothing beyond it is written.
    EXPECT_EQ(key.queryValue("v", type, std::span(buffer, 8), size), RegistryStatus::success);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 9), "12345678#");
}

TEST_F(RegistryStoreTest, KeysOpenCreateAndDelete) {
    RegistryKey key;
    EXPECT_EQ(store.openKey("A\\B", key), RegistryStatus::notFound);
    EXPECT_FALSE(key.isOpen());
    EXPECT_EQ(store.deleteKey("A\\B"), RegistryStatus::notFound);
    ASSERT_EQ(store.createKey("A\\B\\C", key), RegistryStatus::success); // with the keys above
    ASSERT_EQ(set(key, "x", "1"), RegistryStatus::success);
    ASSERT_EQ(store.createKey("A\\B\\C", key), RegistryStatus::success); // opens an existing one
    EXPECT_EQ(std::filesystem::exists(keyDir("A/B/C/x.val")), true);

    EXPECT_EQ(store.deleteKey("A\\B"), RegistryStatus::accessDenied); // has a subkey
    EXPECT_TRUE(std::filesystem::exists(keyDir("A/B/C/x.val")));
    EXPECT_EQ(store.deleteKey("A\\B\\C"), RegistryStatus::success); // with its values
    EXPECT_FALSE(std::filesystem::exists(keyDir("A/B/C")));
    EXPECT_EQ(store.openKey("A\\B", key), RegistryStatus::success); // the key above stays
    EXPECT_EQ(store.deleteKey("A\\B"), RegistryStatus::success);
    EXPECT_EQ(store.openKey("A\\B\\C", key), RegistryStatus::notFound);

    // A key that vanished under an open handle: its writes fail as not found.
    ASSERT_EQ(store.createKey("D", key), RegistryStatus::success);
    ASSERT_EQ(store.deleteKey("D"), RegistryStatus::success);
    EXPECT_EQ(set(key, "x", "1"), RegistryStatus::notFound);
}

TEST_F(RegistryStoreTest, MalformedPathsAndNamesStayInsideTheStore) {
    RegistryKey key;
    for (const char* path : {"", "\\A", "A\\", "A\\\\B", "A\\..\\B", "..", ".", "A/B", "../x"}) {
        EXPECT_EQ(store.createKey(path, key), RegistryStatus::failure) << path;
        EXPECT_EQ(store.openKey(path, key), RegistryStatus::failure) << path;
        EXPECT_EQ(store.deleteKey(path), RegistryStatus::failure) << path;
    }
    EXPECT_EQ(store.createKey(std::string("A\0B", 3), key), RegistryStatus::failure);
    ASSERT_EQ(store.createKey("A", key), RegistryStatus::success);
    EXPECT_EQ(set(key, "../../escape", "x"), RegistryStatus::failure);
    unsigned char buffer[4];
    uint32_t type = 0;
    uint32_t size = 0;
    EXPECT_EQ(key.queryValue("../A", type, buffer, size), RegistryStatus::failure);
    EXPECT_EQ(filesIn(root()), (std::vector<std::string>{"HKLM"}));
    EXPECT_EQ(filesIn(root() / "HKLM"), (std::vector<std::string>{"A"}));

    // A closed key refuses everything.
    EXPECT_EQ(key.close(), RegistryStatus::success);
    EXPECT_EQ(key.close(), RegistryStatus::failure);
    EXPECT_EQ(set(key, "x", "1"), RegistryStatus::failure);
    EXPECT_EQ(key.queryValue("x", type, buffer, size), RegistryStatus::failure);
}

TEST_F(RegistryStoreTest, DamagedValueFileIsAFailure) {
    RegistryKey key;
    ASSERT_EQ(store.createKey("K", key), RegistryStatus::success);
    { std::ofstream(keyDir("K/short.val"), std::ios::binary) << "ab"; } // no whole type
    std::filesystem::create_directory(keyDir("K/dir.val"));
    unsigned char buffer[4];
    uint32_t type = 0;
    uint32_t size = 0;
    EXPECT_EQ(key.queryValue("short", type, buffer, size), RegistryStatus::failure);
    EXPECT_EQ(key.queryValue("dir", type, buffer, size), RegistryStatus::failure);
    // A key whose place holds a file: there is no such key, and none can be made there.
    { std::ofstream(keyDir("F"), std::ios::binary) << "x"; }
    EXPECT_EQ(store.openKey("F", key), RegistryStatus::notFound);
    EXPECT_EQ(store.openKey("F\\G", key), RegistryStatus::notFound);
    EXPECT_EQ(store.createKey("F\\G", key), RegistryStatus::failure);
    EXPECT_EQ(store.createKey("F", key), RegistryStatus::failure);
}

TEST(RegistryStoreRoot, ComesFromTheEnvironment) {
    ScopedEnv home("HOME", "/home/op");
    {
        ScopedEnv dir("VORDASH_REGISTRY_DIR", "/srv/reg");
        ScopedEnv state("XDG_STATE_HOME", "/state");
        EXPECT_EQ(RegistryStore::fromEnvironment().root(), "/srv/reg");
    }
    ScopedEnv dir("VORDASH_REGISTRY_DIR", nullptr);
    {
        ScopedEnv state("XDG_STATE_HOME", "/state");
        EXPECT_EQ(RegistryStore::fromEnvironment().root(), "/state/vordash/registry");
    }
    {
        ScopedEnv state("XDG_STATE_HOME", "relative"); // not absolute: ignored
        EXPECT_EQ(RegistryStore::fromEnvironment().root(), "/home/op/.local/state/vordash/registry");
    }
    ScopedEnv state("XDG_STATE_HOME", nullptr);
    EXPECT_EQ(RegistryStore::fromEnvironment().root(), "/home/op/.local/state/vordash/registry");
}

} // namespace
} // namespace Karsto
