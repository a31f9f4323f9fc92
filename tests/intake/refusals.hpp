// Runs the built tilecut on files it must refuse, one scratch directory each.
#pragma once

#include "e2e.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct BadFile {
    const char* name; // what is wrong with it
    std::string ext;
    e2e::Bytes bytes;
};

// Each file gets the load failure, quickly, and leaves no output behind.
inline void expect_refused(const std::vector<BadFile>& files) {
    for (const BadFile& f : files) {
        const e2e::Scratch scratch;
        const std::string name = "bad." + f.ext;
        e2e::write_file(scratch / name, f.bytes);
        const auto r = e2e::run(TILECUT_BIN, {name}, scratch.dir(), 10);
        EXPECT_EQ(r.status, 1) << f.name;
        EXPECT_EQ(r.out, "") << f.name;
        EXPECT_EQ(r.err, "could not load bitmap " + name + "\n") << f.name;
        EXPECT_EQ(scratch.entries(), std::vector<std::string>{name}) << f.name;
    }
}
