// Writes the seed datagrams of the receive fuzz target into the directory given as the
// only argument: one or a few small valid datagrams of each kind the receive path knows.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "net/msg.h"

namespace {

std::vector<uint8_t> Msg(int32_t msgClass, int32_t msgType, int32_t version, int32_t count) {
    MsgHeader h{};
    h.MsgClass = msgClass;
    h.MsgType = msgType;
    h.Count = count;
    h.Version = version;
    h.Source = COMMGR_NODE;
    h.Destination = NODE_ID;
    std::vector<uint8_t> d(sizeof(h));
    memcpy(d.data(), &h, sizeof(h));
    return d;
}

template <typename T> void Put(std::vector<uint8_t>& d, T value) {
    size_t at = d.size();
    d.resize(at + sizeof(value));
    memcpy(d.data() + at, &value, sizeof(value));
}

void Text(std::vector<uint8_t>& d, const char* text) {
    d.insert(d.end(), text, text + strlen(text));
}

bool Write(const std::string& dir, const char* name, const std::vector<uint8_t>& d) {
    std::string path = dir + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = fwrite(d.data(), 1, d.size(), f) == d.size();
    return fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: make_corpus DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;

    ok &= Write(dir, "keepalive", Msg(2, 9, 503, 0));
    ok &= Write(dir, "keepalive_old_version", Msg(2, 9, 502, 0));
    std::vector<uint8_t> d = Msg(2, 5, 503, 0);
    Text(d, "127.0.0.1 9021");
    ok &= Write(dir, "address", d);
    d = Msg(2, 5, 503, 0);
    Text(d, "not-an-address 9021");
    ok &= Write(dir, "address_unusable", d);
    ok &= Write(dir, "shutdown", Msg(2, 12, 503, 0));
    ok &= Write(dir, "network_unknown_type", Msg(2, 7, 503, 0));
    ok &= Write(dir, "unknown_class", Msg(3, 1, 503, 0));
    ok &= Write(dir, "data_block", Msg(1, 1, 503, 3));

    d = Msg(1, 2, 503, 2); // heading bug step, then a flaps setting
    Put<uint32_t>(d, 100);
    Put<int32_t>(d, 2);
    Put<uint32_t>(d, 94);
    Put<int32_t>(d, 1);
    ok &= Write(dir, "changes_int", d);
    d = Msg(1, 2, 503, 1);
    Put<uint32_t>(d, 0);
    Put<double>(d, 113.9);
    ok &= Write(dir, "changes_double", d);
    d = Msg(1, 2, 503, 3); // integer, double, then a slot without a wire width
    Put<uint32_t>(d, 13);
    Put<int32_t>(d, 1);
    Put<uint32_t>(d, 2);
    Put<double>(d, 1.0);
    Put<uint32_t>(d, 7);
    Put<double>(d, 0.0);
    ok &= Write(dir, "changes_mixed", d);
    d = Msg(1, 2, 503, 5); // a count that runs past the entries
    Put<uint32_t>(d, 100);
    Put<int32_t>(d, 1);
    ok &= Write(dir, "changes_short", d);
    d = Msg(2, 9, 503, 0);
    d.resize(500);
    ok &= Write(dir, "overrun", d);

    if (!ok) {
        fprintf(stderr, "make_corpus: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
