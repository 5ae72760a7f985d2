#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/host_path.h"
#include "support/scoped_env.h"

namespace Karsto {
namespace {

struct HostPathCase {
    std::optional<std::string> driveRoot;
    std::string given;
    std::string opened;
};

TEST(HostPath, WindowsNamesBecomeNamesOfThisSystem) {
    const HostPathCase cases[] = {
        {std::nullopt, "C:\\jobs\\a.jyx", "/jobs/a.jyx"},
        {std::string(""), "c:\\jobs\\a.jyx", "/jobs/a.jyx"},
        {std::string("/srv/nc"), "C:\\jobs\\a.jyx", "/srv/nc/jobs/a.jyx"},
        {std::string("/srv/nc"), "D:/jobs/a.jyx", "/srv/nc/jobs/a.jyx"},
        {std::string("/srv/nc"), "C:a.jyx", "/srv/nca.jyx"}, // drive-relative: joined as written
        {std::string("/srv/nc"), "sub\\dir\\a.jyx", "sub/dir/a.jyx"},
        {std::string("/srv/nc"), "/abs/a.jyx", "/abs/a.jyx"},
        {std::string("/srv/nc"), "a:b", "/srv/ncb"},
        {std::string("/srv/nc"), "1:\\a", "1:/a"}, // no drive letter, no prefix
        {std::string("/srv/nc"), "\\\\server\\share\\a", "//server/share/a"},
        {std::string("/srv/nc"), "", ""},
        {std::string("/srv/nc"), "C", "C"},
    };
    for (const HostPathCase& c : cases) {
        test::ScopedEnv root(kDriveRootVariable, c.driveRoot ? c.driveRoot->c_str() : nullptr);
        EXPECT_EQ(hostPath(c.given), c.opened) << c.given;
    }
}

} // namespace
} // namespace Karsto
