// Every program of the language corpus, tests/programs/<area>/*.jyx, against the
// expectations written in its comments (support/corpus.h describes the forms).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/corpus.h"

namespace Karsto::test {
namespace {

const std::string corpusDirectory = VORDASH_TEST_DATA_DIR "/programs";

class Corpus : public ::testing::TestWithParam<std::string> {};

TEST_P(Corpus, ProgramMeetsItsExpectations) {
    const CorpusCase corpusCase = readCorpusCase(corpusDirectory, GetParam());
    for (const std::string& difference : checkCorpusCase(corpusCase)) ADD_FAILURE() << difference;
}

std::string caseName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.size() - 4);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Programs, Corpus, ::testing::ValuesIn(corpusFiles(corpusDirectory)), caseName);

} // namespace
} // namespace Karsto::test
