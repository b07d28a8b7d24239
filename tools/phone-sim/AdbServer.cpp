#include "AdbServer.h"

#include "DeviceListing.h"
#include "PackageCommands.h"
#include "Text.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <list>
#include <optional>
#include <vector>

namespace phonesim {
namespace {

struct Client {
    int fd = -1;
    std::string input;
    std::string serial;
    bool onPhone = false;
    bool tracking = false;
    bool silent = false;
    bool closing = false;
    std::string lastListing;
};

std::string block(const std::string &text)
{
    char length[8];
    std::snprintf(length, sizeof length, "%04zx", text.size() & 0xffff);
    return length + text;
}

std::string fail(const std::string &message)
{
    return "FAIL" + block(message);
}

void sendAll(Client &client, const std::string &bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(client.fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) {
            if (count < 0 && errno == EINTR)
                continue;
            client.closing = true;
            return;
        }
        sent += std::size_t(count);
    }
}

std::optional<SimRule> takeServerRule(const SimStore &store, const std::string &service)
{
    bool any = false;
    for (const SimRule &rule : store.read().rules)
        any = any || rule.tool == "adb-server";
    std::optional<SimRule> answer;
    if (!any)
        return answer;
    store.update([&](SimState &state) {
        for (SimRule &rule : state.rules) {
            if (rule.tool != "adb-server" || rule.times == 0 || !startsWith(service, rule.commandPrefix))
                continue;
            answer = rule;
            if (rule.times > 0)
                --rule.times;
            return;
        }
    });
    return answer;
}

// The ready transport's phone index, or the FAIL message.
std::optional<int> phoneFor(const SimState &state, const std::string &serial, std::string &failure)
{
    for (const Transport &transport : transports(state)) {
        if (transport.serial != serial)
            continue;
        if (transport.state == "unauthorized" || transport.state == "authorizing") {
            failure = "device unauthorized.";
            return std::nullopt;
        }
        if (transport.state != "device" || transport.phoneIndex < 0) {
            failure = "device offline";
            return std::nullopt;
        }
        return transport.phoneIndex;
    }
    failure = "device '" + serial + "' not found";
    return std::nullopt;
}

void phoneService(const SimStore &store, Client &client, const std::string &service)
{
    const std::string forward = "reverse:forward:";
    if (service != "reverse:list-forward" && !startsWith(service, forward)) {
        sendAll(client, fail("unknown service " + service));
        client.closing = true;
        return;
    }
    Reply reply;
    std::string failure;
    if (service == "reverse:list-forward") {
        // Only a look: the state file stays as it is.
        SimState state = store.read();
        if (const std::optional<int> index = phoneFor(state, client.serial, failure))
            reply = reverse(state.phones[std::size_t(*index)], client.serial, {"reverse", "--list"});
    } else {
        store.update([&](SimState &state) {
            const std::optional<int> index = phoneFor(state, client.serial, failure);
            if (!index)
                return;
            const std::string specs = service.substr(forward.size());
            const std::size_t separator = specs.find(';');
            if (separator == std::string::npos) {
                reply = {"bad socket specification", 1};
                return;
            }
            reply = reverse(state.phones[std::size_t(*index)], client.serial,
                            {"reverse", specs.substr(0, separator), specs.substr(separator + 1)});
        });
    }
    if (!failure.empty())
        sendAll(client, fail(failure));
    else if (reply.exitCode != 0)
        sendAll(client, "OKAY" + fail(reply.output));
    else if (service == "reverse:list-forward")
        sendAll(client, "OKAY" + block(reply.output));
    else
        sendAll(client, "OKAYOKAY");
    client.closing = true;
}

void hostService(const SimStore &store, Client &client, const std::string &service)
{
    const std::string transportPrefix = "host:transport:";
    if (service == "host:devices-l" || service == "host:track-devices-l") {
        client.lastListing = serverListing(store.read());
        sendAll(client, "OKAY" + block(client.lastListing));
        client.tracking = service == "host:track-devices-l";
        client.closing = !client.tracking;
    } else if (service == "host:version") {
        sendAll(client, "OKAY" + block("0029"));
        client.closing = true;
    } else if (startsWith(service, transportPrefix)) {
        client.serial = service.substr(transportPrefix.size());
        std::string failure;
        if (!phoneFor(store.read(), client.serial, failure)) {
            sendAll(client, fail(failure));
            client.closing = true;
            return;
        }
        sendAll(client, "OKAY");
        client.onPhone = true;
    } else {
        sendAll(client, fail("unknown host service"));
        client.closing = true;
    }
}

void serve(const SimStore &store, Client &client)
{
    while (!client.closing && !client.silent && client.input.size() >= 4) {
        std::size_t size = 0;
        for (std::size_t digit = 0; digit < 4; ++digit) {
            const char character = client.input[digit];
            const int value = std::isdigit(static_cast<unsigned char>(character)) ? character - '0'
                              : character >= 'a' && character <= 'f'              ? character - 'a' + 10
                              : character >= 'A' && character <= 'F'              ? character - 'A' + 10
                                                                                  : -1;
            if (value < 0) {
                client.closing = true;
                return;
            }
            size = size * 16 + std::size_t(value);
        }
        if (client.input.size() < 4 + size)
            return;
        const std::string service = client.input.substr(4, size);
        client.input.erase(0, 4 + size);
        store.appendInvocation({"adb-server", {service}, {}});
        if (const std::optional<SimRule> rule = takeServerRule(store, service)) {
            sendAll(client, rule->output);
            client.closing = rule->exitCode != 0;
            client.silent = true;
        } else if (client.onPhone) {
            phoneService(store, client, service);
        } else {
            hostService(store, client, service);
        }
    }
}

// Changes whenever the state file is replaced.
std::string stateSignature(const SimStore &store)
{
    struct stat info {};
    if (::stat((store.folder() + "/state.json").c_str(), &info) != 0)
        return "";
    return std::to_string(info.st_ino) + ':' + std::to_string(info.st_mtim.tv_sec) + ':' +
           std::to_string(info.st_mtim.tv_nsec) + ':' + std::to_string(info.st_size);
}

} // namespace

std::string serverListing(const SimState &state)
{
    std::string text = deviceListing(state, true);
    const std::size_t header = text.find('\n');
    text.erase(0, header + 1);
    // The long listing ends with a blank line that the server does not send.
    if (text.size() >= 1 && text.back() == '\n' && (text.size() == 1 || text[text.size() - 2] == '\n'))
        text.pop_back();
    return text;
}

int runAdbServer(const SimStore &store, int port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener, 64) != 0) {
        std::perror("phone-sim: adb server");
        return 1;
    }
    std::list<Client> clients;
    std::string signature = stateSignature(store);
    for (;;) {
        std::vector<pollfd> entries{{listener, POLLIN, 0}};
        for (const Client &client : clients)
            entries.push_back({client.fd, POLLIN, 0});
        ::poll(entries.data(), entries.size(), 50);
        if (entries[0].revents & POLLIN) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                Client client;
                client.fd = fd;
                clients.push_back(client);
            }
        }
        std::size_t index = 1;
        for (Client &client : clients) {
            if (index >= entries.size())
                break;
            if (entries[index++].revents == 0)
                continue;
            char chunk[4096];
            const ssize_t count = ::recv(client.fd, chunk, sizeof chunk, 0);
            if (count <= 0) {
                client.closing = true;
                continue;
            }
            if (client.silent)
                continue;
            client.input.append(chunk, std::size_t(count));
            serve(store, client);
        }
        const std::string now = stateSignature(store);
        if (now != signature) {
            signature = now;
            const std::string listing = serverListing(store.read());
            for (Client &client : clients) {
                if (client.tracking && !client.silent && listing != client.lastListing) {
                    client.lastListing = listing;
                    sendAll(client, block(listing));
                }
            }
        }
        clients.remove_if([](const Client &client) {
            if (client.closing)
                ::close(client.fd);
            return client.closing;
        });
    }
}

} // namespace phonesim
