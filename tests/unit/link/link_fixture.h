// A fresh run and link for every link test, with the log kept in memory.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "records/run_context.h"
#include "link/connection.h"
#include "link/image_transfer.h"
#include "link/link.h"
#include "link/stream_exchange.h"

class LinkTest : public ::testing::Test {
protected:
    // Each test's own run and link: they start clean.
    RunContext run;
    Link link{run};

    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        std::snprintf(run.settings.program_name, sizeof run.settings.program_name, "quorvex");
        run.state.checking_pass = false;
        run.state.log_stream = open_memstream(&log_data_, &log_size_);
    }

    void TearDown() override
    {
        connection_teardown(link);
        std::fclose(run.state.log_stream);
        run.state.log_stream = nullptr;
        std::free(log_data_);
    }

    // For a process that is about to end: the log goes to standard error,
    // where a death test can match it.
    void log_to_stderr()
    {
        std::fclose(run.state.log_stream);
        std::free(log_data_);
        log_data_ = nullptr;
        run.state.log_stream = stderr;
    }

    // What the writers have put in the log so far.
    std::string log_text()
    {
        std::fflush(run.state.log_stream);
        return std::string(log_data_, log_size_);
    }

private:
    char* log_data_ = nullptr;
    size_t log_size_ = 0;
};
