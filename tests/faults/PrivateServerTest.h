#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "FaultSupport.h"
#include "PrivateServers.h"

// A test suite over private servers of its own, started once for the suite and stopped at its
// end (the guardian of TPrivateServers stops them should the program end otherwise). A test
// fails when they cannot start, or when the shared Firebird server is not known.
class TPrivateServerTest : public ::testing::Test {
protected:
    static std::unique_ptr<TPrivateServers>& Servers() {
        static std::unique_ptr<TPrivateServers> servers;
        return servers;
    }
    static std::string& StartFailure() {
        static std::string failure;
        return failure;
    }
    static void SetUpTestSuite() {
        try {
            Servers() = std::make_unique<TPrivateServers>();
            Servers()->Start();
        } catch (const std::exception& e) {
            StartFailure() = e.what();
        }
    }
    static void TearDownTestSuite() { Servers().reset(); }

    void SetUp() override {
        ASSERT_EQ(StartFailure(), "") << "the private test servers did not start";
        ASSERT_FALSE(EnvironmentValue("IQO_FB_SERVER").empty())
            << "IQO_FB_SERVER is not set: run scripts/test-servers start and eval \"$(scripts/test-servers env)\"";
        iqo::SetServicePath(FHome.Path() + "/");
    }
    void TearDown() override { iqo::SetServicePath(""); }

    TTempFolder FHome;  // ServicePath, with the settings file
};
