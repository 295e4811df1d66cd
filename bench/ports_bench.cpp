// The crash client's port layer: one message sent to a port of this process
// and received from it, header only and with a 4 KiB body; and the time a
// receiver spends refusing a datagram whose size field is wrong.

#include <benchmark/benchmark.h>

#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "crash/util/mach_util.h"

namespace {

using namespace crashwatch;

struct Message {
    mach_msg_header_t header;
    char body[4096 + 68];
};

void BM_PortSendReceive(benchmark::State& state)
{
    const mach_port_t port = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    mach_port_t right;
    mach_msg_type_name_t type;
    mach_port_extract_right(mach_task_self(), port, MACH_MSG_TYPE_MAKE_SEND, &right, &type);
    const mach_msg_size_t size = static_cast<mach_msg_size_t>(sizeof(mach_msg_header_t) + state.range(0));
    Message message = {};
    for (auto _ : state) {
        message.header.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, 0);
        message.header.msgh_remote_port = port;
        message.header.msgh_local_port = MACH_PORT_NULL;
        message.header.msgh_size = size;
        if (mach_msg(&message.header, MACH_SEND_MSG | MACH_RCV_MSG, size, sizeof(message), port, 0,
                     MACH_PORT_NULL) != MACH_MSG_SUCCESS)
            state.SkipWithError("mach_msg");
    }
    mach_port_deallocate(mach_task_self(), port);
    mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
}
BENCHMARK(BM_PortSendReceive)->Arg(0)->Arg(4096);

// A bad datagram, then a good one: the pair costs the refusal plus one
// ordinary message.
void BM_PortRefuseMalformed(benchmark::State& state)
{
    const mach_port_t port = NewMachPort(MACH_PORT_RIGHT_RECEIVE);
    sockaddr_un address = {};
    socklen_t length = sizeof(address);
    getsockname(PortReceiveDescriptor(port), reinterpret_cast<sockaddr*>(&address), &length);
    const int raw = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    connect(raw, reinterpret_cast<sockaddr*>(&address), length);
    mach_msg_header_t bad = {};
    bad.msgh_size = 1000;
    mach_msg_header_t good = {};
    good.msgh_size = sizeof(good);
    // The refusals are logged; keep them off the benchmark's output.
    const int saved = dup(STDERR_FILENO);
    FILE* sink = tmpfile();
    dup2(fileno(sink), STDERR_FILENO);
    Message message;
    for (auto _ : state) {
        send(raw, &bad, sizeof(bad), 0);
        send(raw, &good, sizeof(good), 0);
        if (mach_msg(&message.header, MACH_RCV_MSG, 0, sizeof(message), port, 0, MACH_PORT_NULL) != MACH_MSG_SUCCESS)
            state.SkipWithError("mach_msg");
    }
    dup2(saved, STDERR_FILENO);
    close(saved);
    fclose(sink);
    close(raw);
    mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
}
BENCHMARK(BM_PortRefuseMalformed);

}  // namespace
