// Each stream-mode check point takes exactly its own answer, with the line
// end that closes it, however the processor's writes cut the answers: an
// answer of any size around the buffers' limits, its end tag and line end
// split at every place, the declaration alone in the first write, one byte
// per write; an answer whose root is an empty element, its end marker
// "<END_MOXCL/>" cut at every place. An error in the next answer is then
// always seen at its own check point: one answer read late would let it end
// as a success.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "link/stream_exchange.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"
#include "link_fixture.h"

namespace {

// The processor's writes, each read no further than its own end (as TLS
// records arrive).
struct WritesPeer {
    std::deque<std::string> writes;

    static int read(void* context, void* buffer, int size)
    {
        auto& self = *static_cast<WritesPeer*>(context);
        if (self.writes.empty())
            return 0;
        std::string& next = self.writes.front();
        int count = std::min(size, static_cast<int>(next.size()));
        std::copy_n(next.data(), count, static_cast<char*>(buffer));
        next.erase(0, static_cast<size_t>(count));
        if (next.empty())
            self.writes.pop_front();
        return count;
    }
    static int write(void*, const void*, int length) { return length; }
};

// An answer of exactly length bytes, its line end included.
std::string answer_of(size_t length, const char* status)
{
    const std::string head = "<?xml version=\"1.0\"?>\r\n<MOXCL VERSION=\"2.22\">\r\n<RESPONSE STATUS=\"";
    const std::string middle = "\" MESSAGE='";
    const std::string tail = "'/>\r\n</MOXCL>\r\n";
    std::string answer = head + status + middle;
    answer += std::string(length - answer.size() - tail.size(), 'm');
    return answer + tail;
}

class AnswerInStep : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        link_ = {&WritesPeer::read, &WritesPeer::write, &peer_};
        use_link_peer(link, &link_);
        run.state.processor_generation = ProcessorGeneration::stream;
    }
    void TearDown() override
    {
        use_link_peer(link, nullptr);
        LinkTest::TearDown();
    }

    // Two check points: the first answer comes in the given writes, the
    // second (an error) in one. Each must take its own.
    void expect_in_step(const std::vector<std::string>& first_writes, int size)
    {
        expect_in_step_on(link, first_writes, size);
    }
    void expect_in_step_on(Link& on, const std::vector<std::string>& first_writes, int size, bool shown = false)
    {
        run.state.run_status = 0;
        peer_.writes.assign(first_writes.begin(), first_writes.end());
        peer_.writes.push_back(answer_of(200, "0x0007"));
        std::vector<char> buffer(static_cast<size_t>(size) + 1);
        testing::internal::CaptureStdout();
        on.show_whole_response = shown;
        LinkResult first = response_check(on, buffer.data(), size);
        LinkResult second = response_check(on, buffer.data(), size);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(first, LinkResult::ok);
        EXPECT_EQ(second, LinkResult::error_status);
        EXPECT_EQ(run.state.run_status, 7);
        EXPECT_TRUE(peer_.writes.empty());
    }

    WritesPeer peer_;
    LinkPeer link_;
};

TEST_F(AnswerInStep, EverySizeAndEverySplitOfTheEnd)
{
    // The check points' buffer (2047 bytes) and the opening's (4096).
    for (int size : {2047, 4096}) {
        for (size_t length = static_cast<size_t>(size) - 3; length <= static_cast<size_t>(size) + 3; ++length) {
            const std::string answer = answer_of(length, "0x0000");
            const size_t end = answer.size() - std::string("</MOXCL>\r\n").size();
            // Whole, then cut at every place of the end tag and its line end.
            for (size_t cut = end; cut <= answer.size(); ++cut) {
                SCOPED_TRACE("buffer " + std::to_string(size) + ", answer " + std::to_string(length) + ", cut " +
                             std::to_string(cut));
                std::vector<std::string> writes = {answer.substr(0, cut)};
                if (cut < answer.size())
                    writes.push_back(answer.substr(cut));
                expect_in_step(writes, size);
            }
        }
    }
}

TEST_F(AnswerInStep, DeclarationAloneAndOneBytePerWrite)
{
    const std::string answer = answer_of(300, "0x0000");
    const size_t declaration = answer.find('\n') + 1;
    {
        SCOPED_TRACE("declaration alone");
        expect_in_step({answer.substr(0, declaration), answer.substr(declaration)}, 2047);
    }
    {
        SCOPED_TRACE("one byte per write");
        std::vector<std::string> bytes;
        for (char c : answer)
            bytes.emplace_back(1, c);
        expect_in_step(bytes, 2047);
    }
}

// The form whose root is an empty element and whose end is the marker
// "<END_MOXCL/>", with data after the RESPONSE element when given.
std::string marker_answer(const std::string& data = "")
{
    return "<?xml version=\"1.0\"?>\r\n<MOXCL VERSION=\"1.50\"/>\r\n<RESPONSE\r\n    STATUS=\"0x0000\"\r\n"
           "    MESSAGE='No error'\r\n     />\r\n" +
           data + "<END_MOXCL/>\r\n";
}

std::vector<std::string> cut_at(const std::string& answer, size_t cut)
{
    std::vector<std::string> writes = {answer.substr(0, cut)};
    if (cut < answer.size())
        writes.push_back(answer.substr(cut));
    return writes;
}

TEST_F(AnswerInStep, EmptyRootReadToItsMarkerCutAnywhere)
{
    const std::string answer = marker_answer();
    const std::string with_data = marker_answer("<FW_VERSION VALUE=\"1.2\"/>\r\n");
    const size_t marker = answer.find("<END_MOXCL/>");
    const size_t data = with_data.find("<FW_VERSION");
    for (size_t cut = marker; cut <= answer.size(); ++cut) {
        SCOPED_TRACE("cut " + std::to_string(cut - marker) + " into the marker");
        {
            SCOPED_TRACE("the link's first answer");
            Link first{run};
            use_link_peer(first, &link_);
            expect_in_step_on(first, cut_at(answer, cut), 2047);
            use_link_peer(first, nullptr);
        }
        {
            SCOPED_TRACE("after a whole answer of that form");
            Link known{run};
            use_link_peer(known, &link_);
            expect_in_step_on(known, {answer}, 2047);
            expect_in_step_on(known, cut_at(answer, cut), 2047);
            // An answer with data cut before its data, shown or not.
            for (bool shown : {false, true}) {
                SCOPED_TRACE(shown ? "data, shown" : "data");
                expect_in_step_on(known, cut_at(with_data, data), 2047, shown);
            }
            use_link_peer(known, nullptr);
        }
    }
    {
        SCOPED_TRACE("one byte per write");
        std::vector<std::string> bytes;
        for (char c : answer)
            bytes.emplace_back(1, c);
        Link first{run};
        use_link_peer(first, &link_);
        expect_in_step_on(first, bytes, 2047);
        use_link_peer(first, nullptr);
    }
}

}  // namespace
