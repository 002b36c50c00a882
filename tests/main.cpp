#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include <stdio.h>

namespace {

int TestCasesRun;

// Counts the test cases that ran, so that a filter matching none is a failure, not a pass.
struct CountingListener : doctest::IReporter {
    explicit CountingListener(const doctest::ContextOptions&) {}
    void report_query(const doctest::QueryData&) override {}
    void test_run_start() override {}
    void test_run_end(const doctest::TestRunStats&) override {}
    void test_case_start(const doctest::TestCaseData&) override { ++TestCasesRun; }
    void test_case_reenter(const doctest::TestCaseData&) override {}
    void test_case_end(const doctest::CurrentTestCaseStats&) override {}
    void test_case_exception(const doctest::TestCaseException&) override {}
    void subcase_start(const doctest::SubcaseSignature&) override {}
    void subcase_end() override {}
    void log_assert(const doctest::AssertData&) override {}
    void log_message(const doctest::MessageData&) override {}
    void test_case_skipped(const doctest::TestCaseData&) override {}
};

REGISTER_LISTENER("counting", 1, CountingListener);

}

int main(int argc, char** argv)
{
    // Unbuffered, so that a test that hangs shows how far it got.
    setvbuf(stdout, NULL, _IONBF, 0);
    setvbuf(stderr, NULL, _IONBF, 0);
    doctest::Context context(argc, argv);
    int result = context.run();
    if (context.shouldExit())
        return result;
    if (result == 0 && TestCasesRun == 0) {
        fprintf(stderr, "no test case matched\n");
        return 1;
    }
    return result;
}
