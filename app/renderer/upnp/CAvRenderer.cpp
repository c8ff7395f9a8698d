#include "CAvRenderer.h"

#include "AvDescription.h"
#include "DebugPrint.h"
#include "network/LocalAddress.h"
#include "network/UPnPContext.h"
#include "network/XmlErrorTrace.h"

#include <arpa/inet.h>
#include <libgupnp-av/gupnp-av.h>
#include <libgupnp/gupnp.h>
#include <libsoup/soup.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <thread>

namespace {

constexpr size_t kDescriptionLimitBytes = 256 * 1024;
constexpr guint kHttpTimeoutSeconds = 5;
constexpr guint kActionTimeoutMs = 5000;
constexpr guint kPollIntervalMs = 1000;
constexpr size_t kLastChangeLimitBytes = 64 * 1024;
// Transport failures in a row after which the renderer counts as gone.
constexpr int kLostAfterFailures = 2;

std::string Sentence(const char* format, const std::string& host) {
    char text[512];
    std::snprintf(text, sizeof text, format, host.c_str());
    return text;
}

// Text from the network, cut for the trace.
std::string Clip(const char* text, size_t limit = 200) {
    if (text == nullptr)
        return "(none)";
    std::string value(text);
    if (value.size() > limit)
        value = value.substr(0, limit) + "...";
    for (char& c : value)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return value;
}

struct HttpResult {
    bool isAnswered = false; // a status line came
    bool isTooLarge = false;
    guint status = 0;
    std::string body;
    std::string error;
};

// A GET on this thread with the time and size limits; the body only for 2xx.
HttpResult FetchText(SoupSession* session, const std::string& url, size_t limit) {
    HttpResult result;
    SoupMessage* message = soup_message_new("GET", url.c_str());
    if (message == nullptr) {
        result.error = "unusable URL";
        return result;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kHttpTimeoutSeconds);
    GError* error = nullptr;
    GInputStream* stream = soup_session_send(session, message, nullptr, &error);
    if (stream == nullptr) {
        result.error = error != nullptr ? error->message : "no answer";
        g_clear_error(&error);
        g_object_unref(message);
        return result;
    }
    result.isAnswered = true;
    result.status = soup_message_get_status(message);
    if (result.status >= 200 && result.status < 300) {
        char buffer[16384];
        for (;;) {
            if (std::chrono::steady_clock::now() > deadline) {
                result.error = "too slow";
                result.isAnswered = false;
                break;
            }
            gssize got = g_input_stream_read(stream, buffer, sizeof buffer, nullptr, &error);
            if (got < 0) {
                result.error = error != nullptr ? error->message : "read failed";
                result.isAnswered = false;
                g_clear_error(&error);
                break;
            }
            if (got == 0)
                break;
            if (result.body.size() + static_cast<size_t>(got) > limit) {
                result.isTooLarge = true;
                break;
            }
            result.body.append(buffer, static_cast<size_t>(got));
        }
    }
    g_input_stream_close(stream, nullptr, nullptr);
    g_object_unref(stream);
    g_object_unref(message);
    return result;
}

// Whether a failed call still got an answer from the renderer: a SOAP fault
// or an HTTP error status, as opposed to no connection or no reply in time.
bool IsAnswer(const GError* error) {
    return error != nullptr &&
           (error->domain == GUPNP_CONTROL_ERROR || error->domain == GUPNP_SERVER_ERROR);
}

// The first IPv4 address of host; nothing when it has none.
std::optional<in_addr> ResolveIPv4(const std::string& host) {
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1)
        return address;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return std::nullopt;
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return address;
}

// An AVTransport action that takes the instance alone (Pause, Stop).
GUPnPServiceProxyAction* instanceAction(const char* name) {
    return gupnp_service_proxy_action_new(name, "InstanceID", G_TYPE_UINT, 0, nullptr);
}

} // namespace

struct CAvRenderer::Impl {
    using Done = std::function<void(GUPnPServiceProxyAction* action, const GError* error)>;
    struct Call {
        Impl* impl;
        std::string name;
        GCancellable* cancellable;
        GSource* timeout;
        bool isTimedOut;
        Done done;
    };

    // Set before Open returns, read-only afterwards.
    std::string location;
    std::string host;
    std::string friendlyName;
    std::string udn;
    std::string localAddress;
    std::string interfaceName;
    std::string avTransportUrl;
    std::string renderingControlUrl;
    std::vector<std::string> sinks;
    bool hasNextMedia = false;
    int volumeMax = 100;
    CAvRendererObserver* observer = nullptr;

    GMainContext* mainContext = nullptr;
    GMainLoop* loop = nullptr;
    std::thread thread;

    // Only on the GLib thread.
    GUPnPContext* upnp = nullptr;
    SoupSession* fetcher = nullptr;
    GUPnPXMLDoc* document = nullptr;
    GUPnPServiceProxy* avTransport = nullptr;
    GUPnPServiceProxy* renderingControl = nullptr;
    GUPnPServiceProxy* connectionManager = nullptr;
    GUPnPLastChangeParser* lastChangeParser = nullptr;
    GSource* pollSource = nullptr;
    std::set<Call*> calls;
    RendererTransport transport;
    RendererTransport reported;
    bool hasReported = false;
    bool isTransportEventSinceTick = false;
    bool isTransportInfoPending = false;
    bool isPositionPending = false;
    int transportFailures = 0;
    bool isLost = false;
    bool isStopping = false;

    ~Impl() {
        if (loop != nullptr)
            g_main_loop_unref(loop);
        if (mainContext != nullptr)
            g_main_context_unref(mainContext);
    }

    void Run(std::promise<std::string>* opened);
    std::string OpenOnThread();
    void Shutdown();

    // Marshals work to the GLib thread.
    void Post(std::function<void()> work);
    void Start(GUPnPServiceProxy* proxy, GUPnPServiceProxyAction* action, const std::string& name,
               Done done);
    // Waits on this thread until the action ends; Open only.
    bool CallBlocking(GUPnPServiceProxy* proxy, GUPnPServiceProxyAction* action,
                      const std::string& name,
                      const std::function<void(GUPnPServiceProxyAction*)>& read);
    // A command from the user: faults go to the observer.
    void Command(GUPnPServiceProxy* proxy, GUPnPServiceProxyAction* action, const std::string& name,
                 std::function<void(GUPnPServiceProxyAction*)> after = {});
    // Makes the named action on the GLib thread and queues it as a command;
    // nothing once the renderer is lost or closing.
    void PostCommand(GUPnPServiceProxy* Impl::*proxy, const char* name,
                     std::function<GUPnPServiceProxyAction*(const char* name)> makeAction,
                     std::function<void(GUPnPServiceProxyAction*)> after = {});
    struct QueuedCommand {
        GUPnPServiceProxy* proxy;
        GUPnPServiceProxyAction* action;
        std::string name;
        std::function<void(GUPnPServiceProxyAction*)> after;
    };
    std::deque<QueuedCommand> commands;
    bool isCommandRunning = false;
    void NextCommand();
    void DropCommands();
    void NoteTransportFailure(const std::string& name, const GError* error);
    void Lose(const std::string& why);
    void ReportIfChanged();

    void Tick();
    // One poll of AVTransport: at most one of each name at a time (pending),
    // a transport failure counted, a refusal traced, the answer read.
    void Poll(const char* name, bool& pending, std::function<void(GUPnPServiceProxyAction*)> read);
    // One value of the Master channel read into the transport with store.
    template <typename Value>
    void ReadMaster(const char* name, const char* argument, GType type,
                    void (*store)(RendererTransport&, Value));
    void ReadVolume();
    void ReadMute();
    void OnTransportLastChange(const char* text);
    void OnRenderingLastChange(const char* text);
};

void CAvRenderer::Impl::Run(std::promise<std::string>* opened) {
    g_main_context_push_thread_default(mainContext);
    RouteXmlErrorsToTrace();
    std::string why = OpenOnThread();
    bool isOpen = why.empty();
    if (isOpen) {
        pollSource = g_timeout_source_new(kPollIntervalMs);
        g_source_set_callback(
            pollSource,
            [](gpointer data) -> gboolean {
                static_cast<Impl*>(data)->Tick();
                return G_SOURCE_CONTINUE;
            },
            this, nullptr);
        g_source_attach(pollSource, mainContext);
        // The first picture, once the owner holds the renderer.
        Post([this] { ReportIfChanged(); });
    }
    opened->set_value(why);
    if (isOpen)
        g_main_loop_run(loop);
    Shutdown();
    g_main_context_pop_thread_default(mainContext);
}

std::string CAvRenderer::Impl::OpenOnThread() {
    GError* error = nullptr;
    GUri* uri = g_uri_parse(location.c_str(), G_URI_FLAGS_NONE, &error);
    if (uri == nullptr || g_uri_get_host(uri) == nullptr ||
        g_strcmp0(g_uri_get_scheme(uri), "http") != 0) {
        DebugPrint("AvRenderer: unusable location '%s'\n", Clip(location.c_str()).c_str());
        g_clear_error(&error);
        if (uri != nullptr)
            g_uri_unref(uri);
        return Sentence("\"%s\" is not the address of a TV or speaker.", location);
    }
    host = g_uri_get_host(uri);
    g_uri_unref(uri);

    std::optional<in_addr> peer = ResolveIPv4(host);
    if (!peer)
        return Sentence("The TV or speaker at %s cannot be found on the network.", host);
    if ((ntohl(peer->s_addr) >> 24) == 127) {
        interfaceName = "lo";
        localAddress = "127.0.0.1";
    } else {
        for (const LocalIPv4Address& local : ListLocalIPv4Addresses()) {
            in_addr address{}, mask{};
            if (local.isLoopback || inet_pton(AF_INET, local.address.c_str(), &address) != 1 ||
                inet_pton(AF_INET, local.netmask.c_str(), &mask) != 1)
                continue;
            if ((address.s_addr & mask.s_addr) == (peer->s_addr & mask.s_addr)) {
                interfaceName = local.interfaceName;
                localAddress = local.address;
                break;
            }
        }
    }
    if (interfaceName.empty()) {
        DebugPrint("AvRenderer: no local interface holds %s\n", host.c_str());
        return Sentence("The TV or speaker at %s is not on a network this PC is connected to.",
                        host);
    }

    GInetAddress* bind = g_inet_address_new_from_string(localAddress.c_str());
    upnp = NewListeningUPnPContext(interfaceName, bind, &error);
    g_object_unref(bind);
    if (upnp == nullptr) {
        DebugPrint("AvRenderer: no UPnP context on %s (%s): %s\n", interfaceName.c_str(),
                   localAddress.c_str(), error != nullptr ? error->message : "?");
        g_clear_error(&error);
        return Sentence("This PC cannot listen on the network of the TV or speaker at %s.", host);
    }
    // Renderers sit on the local network: never through a proxy.
    soup_session_set_proxy_resolver(gupnp_context_get_session(upnp), nullptr);
    soup_session_set_timeout(gupnp_context_get_session(upnp), kHttpTimeoutSeconds);
    fetcher = soup_session_new_with_options("timeout", kHttpTimeoutSeconds, "proxy-resolver",
                                            nullptr, nullptr);

    HttpResult fetched = FetchText(fetcher, location, kDescriptionLimitBytes);
    if (!fetched.isAnswered) {
        DebugPrint("AvRenderer: description at %s: %s\n", Clip(location.c_str()).c_str(),
                   fetched.error.c_str());
        return Sentence("The TV or speaker at %s does not answer.", host);
    }
    if (fetched.status < 200 || fetched.status >= 300) {
        DebugPrint("AvRenderer: description at %s: HTTP %u\n", Clip(location.c_str()).c_str(),
                   fetched.status);
        return Sentence("The TV or speaker at %s refuses to describe itself.", host);
    }
    if (fetched.isTooLarge) {
        DebugPrint("AvRenderer: description at %s exceeds %zu bytes\n",
                   Clip(location.c_str()).c_str(), kDescriptionLimitBytes);
        return Sentence("The TV or speaker at %s sent a description this program cannot read.",
                        host);
    }
    AvDeviceDescription description;
    xmlDoc* parsed = nullptr;
    switch (ParseAvDescription(fetched.body, location, &description, &parsed)) {
    case AvDescriptionError::None:
        break;
    case AvDescriptionError::Malformed:
        return Sentence("The TV or speaker at %s sent a description this program cannot read.",
                        host);
    case AvDescriptionError::NoAvTransport:
        return Sentence("The TV or speaker at %s does not offer AVTransport.", host);
    case AvDescriptionError::NoRenderingControl:
        return Sentence("The TV or speaker at %s does not offer RenderingControl.", host);
    case AvDescriptionError::NoConnectionManager:
        return Sentence("The TV or speaker at %s does not offer ConnectionManager.", host);
    }
    document = gupnp_xml_doc_new(parsed);
    friendlyName = description.friendlyName.empty() ? host : description.friendlyName;
    udn = description.udn;
    avTransportUrl = description.avTransport.controlUrl;
    renderingControlUrl = description.renderingControl.controlUrl;

    GUri* base = g_uri_parse(description.baseUrl.c_str(), G_URI_FLAGS_NONE, nullptr);
    auto makeProxy = [&](const AvServiceLinks& links) {
        return GUPNP_SERVICE_PROXY(
            g_object_new(GUPNP_TYPE_SERVICE_PROXY, "context", upnp, "location", location.c_str(),
                         "udn", udn.c_str(), "service-type", links.serviceType.c_str(), "url-base",
                         base, "document", document, "element", links.element, nullptr));
    };
    avTransport = makeProxy(description.avTransport);
    renderingControl = makeProxy(description.renderingControl);
    connectionManager = makeProxy(description.connectionManager);
    if (base != nullptr)
        g_uri_unref(base);

    // What the services offer; a renderer that hides it gets the defaults.
    auto readScpd = [&](const AvServiceLinks& links) -> std::optional<AvServiceDescription> {
        if (links.scpdUrl.empty())
            return std::nullopt;
        HttpResult scpd = FetchText(fetcher, links.scpdUrl, kDescriptionLimitBytes);
        if (!scpd.isAnswered || scpd.status != 200 || scpd.isTooLarge) {
            DebugPrint("AvRenderer: no service description for %s (%s, HTTP %u)\n",
                       links.serviceType.c_str(), scpd.error.c_str(), scpd.status);
            return std::nullopt;
        }
        return ParseServiceDescription(scpd.body);
    };
    if (auto scpd = readScpd(description.avTransport))
        hasNextMedia = scpd->HasAction("SetNextAVTransportURI");
    if (auto scpd = readScpd(description.renderingControl))
        volumeMax = scpd->volumeMax;

    lastChangeParser = gupnp_last_change_parser_new();
    auto subscribe = [this](GUPnPServiceProxy* proxy, GUPnPServiceProxyNotifyCallback callback) {
        gupnp_service_proxy_add_notify(proxy, "LastChange", G_TYPE_STRING, callback, this);
        g_signal_connect(proxy, "subscription-lost",
                         G_CALLBACK(+[](GUPnPServiceProxy*, GError* reason, gpointer) {
                             DebugPrint("AvRenderer: event subscription lost: %s\n",
                                        reason != nullptr ? reason->message : "?");
                         }),
                         this);
        gupnp_service_proxy_set_subscribed(proxy, TRUE);
    };
    subscribe(avTransport, [](GUPnPServiceProxy*, const char*, GValue* value, gpointer data) {
        static_cast<Impl*>(data)->OnTransportLastChange(g_value_get_string(value));
    });
    subscribe(renderingControl, [](GUPnPServiceProxy*, const char*, GValue* value, gpointer data) {
        static_cast<Impl*>(data)->OnRenderingLastChange(g_value_get_string(value));
    });

    bool isAnswered =
        CallBlocking(connectionManager, gupnp_service_proxy_action_new("GetProtocolInfo", nullptr),
                     "GetProtocolInfo", [this](GUPnPServiceProxyAction* action) {
                         char* sink = nullptr;
                         GError* error = nullptr;
                         if (gupnp_service_proxy_action_get_result(action, &error, "Sink",
                                                                   G_TYPE_STRING, &sink, nullptr)) {
                             sinks = SplitProtocolList(sink != nullptr ? sink : "");
                         } else {
                             DebugPrint("AvRenderer: GetProtocolInfo: %s\n",
                                        error != nullptr ? error->message : "?");
                             g_clear_error(&error);
                         }
                         g_free(sink);
                     });
    if (!isAnswered)
        return Sentence("The TV or speaker at %s does not answer.", host);
    CallBlocking(renderingControl,
                 gupnp_service_proxy_action_new("GetVolume", "InstanceID", G_TYPE_UINT, 0,
                                                "Channel", G_TYPE_STRING, "Master", nullptr),
                 "GetVolume", [this](GUPnPServiceProxyAction* action) {
                     guint volume = 0;
                     GError* error = nullptr;
                     if (gupnp_service_proxy_action_get_result(action, &error, "CurrentVolume",
                                                               G_TYPE_UINT, &volume, nullptr))
                         transport.volume = static_cast<int>(volume);
                     else
                         DebugPrint("AvRenderer: GetVolume: %s\n",
                                    error != nullptr ? error->message : "?");
                     g_clear_error(&error);
                 });
    CallBlocking(
        avTransport,
        gupnp_service_proxy_action_new("GetTransportInfo", "InstanceID", G_TYPE_UINT, 0, nullptr),
        "GetTransportInfo", [this](GUPnPServiceProxyAction* action) {
            char* state = nullptr;
            GError* error = nullptr;
            if (gupnp_service_proxy_action_get_result(action, &error, "CurrentTransportState",
                                                      G_TYPE_STRING, &state, nullptr)) {
                if (auto parsed = ParseTransportState(state != nullptr ? state : ""))
                    transport.state = *parsed;
            } else {
                DebugPrint("AvRenderer: GetTransportInfo: %s\n",
                           error != nullptr ? error->message : "?");
            }
            g_clear_error(&error);
            g_free(state);
        });
    DebugPrint("AvRenderer: opened '%s' at %s via %s (%s), %zu sinks, volume 0..%d%s\n",
               Clip(friendlyName.c_str()).c_str(), Clip(location.c_str()).c_str(),
               interfaceName.c_str(), localAddress.c_str(), sinks.size(), volumeMax,
               hasNextMedia ? ", next media" : "");
    return {};
}

void CAvRenderer::Impl::Shutdown() {
    // The commands given before the close still reach the renderer for a
    // moment: the Stop of a user who ends playback above all.
    const auto commandGuard = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while ((isCommandRunning || !commands.empty()) && !isLost &&
           std::chrono::steady_clock::now() < commandGuard) {
        if (!g_main_context_iteration(mainContext, FALSE))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    isStopping = true;
    if (pollSource != nullptr) {
        g_source_destroy(pollSource);
        g_source_unref(pollSource);
        pollSource = nullptr;
    }
    bool isSubscribed = false;
    for (GUPnPServiceProxy* proxy : {avTransport, renderingControl}) {
        if (proxy != nullptr && gupnp_service_proxy_get_subscribed(proxy)) {
            gupnp_service_proxy_set_subscribed(proxy, FALSE);
            isSubscribed = true;
        }
    }
    DropCommands();
    for (Call* call : calls)
        g_cancellable_cancel(call->cancellable);
    // Cancelled calls end on the next iterations; the unsubscriptions get a
    // moment to go out.
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(isSubscribed && !isLost ? 300 : 0);
    auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while ((!calls.empty() || std::chrono::steady_clock::now() < deadline) &&
           std::chrono::steady_clock::now() < guard) {
        if (!g_main_context_iteration(mainContext, FALSE))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!calls.empty())
        DebugPrint("AvRenderer: %zu calls still pending at close\n", calls.size());
    for (GUPnPServiceProxy** proxy : {&avTransport, &renderingControl, &connectionManager}) {
        if (*proxy != nullptr) {
            g_signal_handlers_disconnect_by_data(*proxy, this);
            g_clear_object(proxy);
        }
    }
    g_clear_object(&document);
    g_clear_object(&lastChangeParser);
    g_clear_object(&fetcher);
    g_clear_object(&upnp);
    while (g_main_context_iteration(mainContext, FALSE)) {
    }
}

void CAvRenderer::Impl::Post(std::function<void()> work) {
    auto* closure = new std::function<void()>(std::move(work));
    g_main_context_invoke_full(
        mainContext, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        closure, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

void CAvRenderer::Impl::Start(GUPnPServiceProxy* proxy, GUPnPServiceProxyAction* action,
                              const std::string& name, Done done) {
    auto* call =
        new Call{this,  name,           g_cancellable_new(), g_timeout_source_new(kActionTimeoutMs),
                 false, std::move(done)};
    calls.insert(call);
    g_source_set_callback(
        call->timeout,
        [](gpointer data) -> gboolean {
            auto* call = static_cast<Call*>(data);
            call->isTimedOut = true;
            g_cancellable_cancel(call->cancellable);
            return G_SOURCE_REMOVE;
        },
        call, nullptr);
    g_source_attach(call->timeout, mainContext);
    gupnp_service_proxy_call_action_async(
        proxy, action, call->cancellable,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* call = static_cast<Call*>(data);
            Impl* impl = call->impl;
            GError* error = nullptr;
            GUPnPServiceProxyAction* finished =
                gupnp_service_proxy_call_action_finish(GUPNP_SERVICE_PROXY(source), result, &error);
            g_source_destroy(call->timeout);
            g_source_unref(call->timeout);
            impl->calls.erase(call);
            if (error != nullptr && call->isTimedOut) {
                g_clear_error(&error);
                g_set_error(&error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT, "no answer within %u ms",
                            kActionTimeoutMs);
            }
            if (!impl->isStopping)
                call->done(error == nullptr ? finished : nullptr, error);
            g_clear_error(&error);
            g_object_unref(call->cancellable);
            delete call;
        },
        call);
    gupnp_service_proxy_action_unref(action);
}

bool CAvRenderer::Impl::CallBlocking(GUPnPServiceProxy* proxy, GUPnPServiceProxyAction* action,
                                     const std::string& name,
                                     const std::function<void(GUPnPServiceProxyAction*)>& read) {
    bool isDone = false;
    bool isAnswered = false;
    Start(proxy, action, name, [&](GUPnPServiceProxyAction* finished, const GError* error) {
        isDone = true;
        if (finished == nullptr) {
            DebugPrint("AvRenderer: %s: %s\n", name.c_str(),
                       error != nullptr ? Clip(error->message).c_str() : "?");
            isAnswered = IsAnswer(error);
            return;
        }
        isAnswered = true;
        read(finished);
    });
    while (!isDone)
        g_main_context_iteration(mainContext, TRUE);
    return isAnswered;
}

void CAvRenderer::Impl::Command(GUPnPServiceProxy* proxy, GUPnPServiceProxyAction* action,
                                const std::string& name,
                                std::function<void(GUPnPServiceProxyAction*)> after) {
    commands.push_back({proxy, action, name, std::move(after)});
    if (!isCommandRunning)
        NextCommand();
}

void CAvRenderer::Impl::PostCommand(
    GUPnPServiceProxy* Impl::*proxy, const char* name,
    std::function<GUPnPServiceProxyAction*(const char* name)> makeAction,
    std::function<void(GUPnPServiceProxyAction*)> after) {
    Post([this, proxy, name, makeAction = std::move(makeAction), after = std::move(after)] {
        if (isLost || isStopping)
            return;
        Command(this->*proxy, makeAction(name), name, after);
    });
}

void CAvRenderer::Impl::DropCommands() {
    for (QueuedCommand& command : commands)
        gupnp_service_proxy_action_unref(command.action);
    commands.clear();
}

void CAvRenderer::Impl::NextCommand() {
    isCommandRunning = false;
    if (isLost || isStopping) {
        DropCommands();
        return;
    }
    if (commands.empty())
        return;
    QueuedCommand command = std::move(commands.front());
    commands.pop_front();
    isCommandRunning = true;
    Start(command.proxy, command.action, command.name,
          [this, name = command.name, after = std::move(command.after)](
              GUPnPServiceProxyAction* finished, const GError* error) {
              // The renderer takes commands one at a time, in order: a Play
              // sent beside its SetAVTransportURI may be handled first.
              struct Next {
                  Impl* impl;
                  ~Next() { impl->NextCommand(); }
              } next{this};
              if (isLost)
                  return;
              if (finished == nullptr && !IsAnswer(error)) {
                  observer->ActionFailed(name, -1,
                                         error != nullptr ? Clip(error->message) : "no answer");
                  NoteTransportFailure(name, error);
                  return;
              }
              transportFailures = 0;
              GError* fault = nullptr;
              if (finished == nullptr ||
                  !gupnp_service_proxy_action_get_result(finished, &fault, nullptr)) {
                  const GError* reason = fault != nullptr ? fault : error;
                  int code = reason != nullptr && reason->domain == GUPNP_CONTROL_ERROR
                                 ? reason->code
                                 : -1;
                  std::string text = reason != nullptr ? Clip(reason->message) : "refused";
                  DebugPrint("AvRenderer: %s refused: %d %s\n", name.c_str(), code, text.c_str());
                  g_clear_error(&fault);
                  observer->ActionFailed(name, code, text);
                  return;
              }
              if (after)
                  after(finished);
          });
}

void CAvRenderer::Impl::NoteTransportFailure(const std::string& name, const GError* error) {
    DebugPrint("AvRenderer: %s failed: %s\n", name.c_str(),
               error != nullptr ? Clip(error->message).c_str() : "?");
    if (++transportFailures >= kLostAfterFailures)
        Lose(Sentence("The TV or speaker at %s no longer answers.", host));
}

void CAvRenderer::Impl::Lose(const std::string& why) {
    if (isLost)
        return;
    isLost = true;
    DebugPrint("AvRenderer: lost %s: %s\n", Clip(location.c_str()).c_str(), why.c_str());
    if (pollSource != nullptr) {
        g_source_destroy(pollSource);
        g_source_unref(pollSource);
        pollSource = nullptr;
    }
    for (Call* call : calls)
        g_cancellable_cancel(call->cancellable);
    observer->RendererLost(why);
}

void CAvRenderer::Impl::ReportIfChanged() {
    if (isLost || isStopping || (hasReported && transport == reported))
        return;
    reported = transport;
    hasReported = true;
    observer->TransportChanged(transport);
}

void CAvRenderer::Impl::Tick() {
    if (isLost || isStopping)
        return;
    // A renderer that sends no events still has its state followed.
    if (!isTransportEventSinceTick && !isTransportInfoPending) {
        Poll("GetTransportInfo", isTransportInfoPending, [this](GUPnPServiceProxyAction* action) {
            char* state = nullptr;
            GError* fault = nullptr;
            if (gupnp_service_proxy_action_get_result(action, &fault, "CurrentTransportState",
                                                      G_TYPE_STRING, &state, nullptr)) {
                if (state == nullptr)
                    DebugPrint("AvRenderer: GetTransportInfo answer lacks "
                               "CurrentTransportState\n");
                else if (auto parsed = ParseTransportState(state))
                    transport.state = *parsed;
                else
                    DebugPrint("AvRenderer: unknown transport state '%s'\n", Clip(state).c_str());
            } else {
                DebugPrint("AvRenderer: GetTransportInfo: %s\n",
                           fault != nullptr ? Clip(fault->message).c_str() : "?");
            }
            g_clear_error(&fault);
            g_free(state);
        });
    }
    isTransportEventSinceTick = false;
    // Many renderers send no position events.
    bool isMoving = transport.state == RendererTransport::State::Playing ||
                    transport.state == RendererTransport::State::Transitioning;
    if (isMoving && !isPositionPending) {
        Poll("GetPositionInfo", isPositionPending, [this](GUPnPServiceProxyAction* action) {
            char* relTime = nullptr;
            char* duration = nullptr;
            char* uri = nullptr;
            GError* fault = nullptr;
            if (gupnp_service_proxy_action_get_result(
                    action, &fault, "RelTime", G_TYPE_STRING, &relTime, "TrackDuration",
                    G_TYPE_STRING, &duration, "TrackURI", G_TYPE_STRING, &uri, nullptr)) {
                if (relTime == nullptr)
                    DebugPrint("AvRenderer: GetPositionInfo answer lacks RelTime\n");
                transport.positionMs = ParseAvTime(relTime != nullptr ? relTime : "");
                std::int64_t length = ParseAvTime(duration != nullptr ? duration : "");
                if (length > 0)
                    transport.durationMs = length;
                if (uri != nullptr && *uri != '\0')
                    transport.currentUri = uri;
            } else {
                DebugPrint("AvRenderer: GetPositionInfo: %s\n",
                           fault != nullptr ? Clip(fault->message).c_str() : "?");
            }
            g_clear_error(&fault);
            g_free(relTime);
            g_free(duration);
            g_free(uri);
        });
    }
}

void CAvRenderer::Impl::Poll(const char* name, bool& pending,
                             std::function<void(GUPnPServiceProxyAction*)> read) {
    pending = true;
    Start(avTransport, gupnp_service_proxy_action_new(name, "InstanceID", G_TYPE_UINT, 0, nullptr),
          name,
          [this, name, &pending, read = std::move(read)](GUPnPServiceProxyAction* action,
                                                         const GError* error) {
              pending = false;
              if (isLost)
                  return;
              if (action == nullptr && !IsAnswer(error))
                  return NoteTransportFailure(name, error);
              transportFailures = 0;
              if (action == nullptr) {
                  DebugPrint("AvRenderer: %s refused: %s\n", name, error->message);
                  return;
              }
              read(action);
              ReportIfChanged();
          });
}

template <typename Value>
void CAvRenderer::Impl::ReadMaster(const char* name, const char* argument, GType type,
                                   void (*store)(RendererTransport&, Value)) {
    Command(renderingControl,
            gupnp_service_proxy_action_new(name, "InstanceID", G_TYPE_UINT, 0, "Channel",
                                           G_TYPE_STRING, "Master", nullptr),
            name, [this, name, argument, type, store](GUPnPServiceProxyAction* action) {
                Value value{};
                GError* error = nullptr;
                if (gupnp_service_proxy_action_get_result(action, &error, argument, type, &value,
                                                          nullptr))
                    store(transport, value);
                else
                    DebugPrint("AvRenderer: %s: %s\n", name,
                               error != nullptr ? Clip(error->message).c_str() : "?");
                g_clear_error(&error);
                ReportIfChanged();
            });
}

void CAvRenderer::Impl::ReadVolume() {
    ReadMaster<guint>("GetVolume", "CurrentVolume", G_TYPE_UINT,
                      [](RendererTransport& transport, guint volume) {
                          transport.volume = static_cast<int>(volume);
                      });
}

void CAvRenderer::Impl::ReadMute() {
    ReadMaster<gboolean>("GetMute", "CurrentMute", G_TYPE_BOOLEAN,
                         [](RendererTransport& transport, gboolean isMuted) {
                             transport.isMuted = isMuted != FALSE;
                         });
}

void CAvRenderer::Impl::OnTransportLastChange(const char* text) {
    if (isLost || isStopping || text == nullptr)
        return;
    if (std::strlen(text) > kLastChangeLimitBytes) {
        DebugPrint("AvRenderer: AVTransport LastChange of %zu bytes ignored\n", std::strlen(text));
        return;
    }
    isTransportEventSinceTick = true;
    char* state = nullptr;
    char* transportUri = nullptr;
    char* trackUri = nullptr;
    char* duration = nullptr;
    GError* error = nullptr;
    if (!gupnp_last_change_parser_parse_last_change(
            lastChangeParser, 0, text, &error, "TransportState", G_TYPE_STRING, &state,
            "AVTransportURI", G_TYPE_STRING, &transportUri, "CurrentTrackURI", G_TYPE_STRING,
            &trackUri, "CurrentTrackDuration", G_TYPE_STRING, &duration, nullptr)) {
        DebugPrint("AvRenderer: unreadable AVTransport LastChange: %s\n",
                   error != nullptr ? Clip(error->message).c_str() : "?");
        g_clear_error(&error);
        return;
    }
    if (state != nullptr) {
        if (auto parsed = ParseTransportState(state))
            transport.state = *parsed;
        else
            DebugPrint("AvRenderer: unknown transport state '%s'\n", Clip(state).c_str());
    }
    if (trackUri != nullptr && *trackUri != '\0')
        transport.currentUri = trackUri;
    else if (transportUri != nullptr)
        transport.currentUri = transportUri;
    if (duration != nullptr)
        transport.durationMs = ParseAvTime(duration);
    g_free(state);
    g_free(transportUri);
    g_free(trackUri);
    g_free(duration);
    ReportIfChanged();
}

void CAvRenderer::Impl::OnRenderingLastChange(const char* text) {
    if (isLost || isStopping || text == nullptr)
        return;
    if (std::strlen(text) > kLastChangeLimitBytes) {
        DebugPrint("AvRenderer: RenderingControl LastChange of %zu bytes ignored\n",
                   std::strlen(text));
        return;
    }
    RenderingChange change;
    if (!ParseRenderingLastChange(text, &change))
        return;
    if (change.volume)
        transport.volume = *change.volume;
    if (change.isMuted)
        transport.isMuted = *change.isMuted;
    ReportIfChanged();
}

CAvRenderer::CAvRenderer(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

std::unique_ptr<CAvRenderer> CAvRenderer::Open(const std::string& location,
                                               CAvRendererObserver* observer, std::string* error) {
    auto impl = std::make_unique<Impl>();
    impl->location = location;
    impl->observer = observer;
    impl->mainContext = g_main_context_new();
    impl->loop = g_main_loop_new(impl->mainContext, FALSE);
    std::promise<std::string> opened;
    std::future<std::string> result = opened.get_future();
    Impl* raw = impl.get();
    impl->thread = std::thread([raw, &opened] { raw->Run(&opened); });
    std::string why = result.get();
    if (!why.empty()) {
        impl->thread.join();
        if (error != nullptr)
            *error = why;
        return nullptr;
    }
    return std::unique_ptr<CAvRenderer>(new CAvRenderer(std::move(impl)));
}

CAvRenderer::~CAvRenderer() {
    Impl* impl = m_impl.get();
    // Behind the calls made before it, which Shutdown lets finish.
    g_main_context_invoke_full(
        impl->mainContext, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            g_main_loop_quit(static_cast<Impl*>(data)->loop);
            return G_SOURCE_REMOVE;
        },
        impl, nullptr);
    impl->thread.join();
}

std::string CAvRenderer::FriendlyName() const {
    return m_impl->friendlyName;
}
std::string CAvRenderer::Udn() const {
    return m_impl->udn;
}
std::string CAvRenderer::LocalAddress() const {
    return m_impl->localAddress;
}
const std::vector<std::string>& CAvRenderer::SinkProtocols() const {
    return m_impl->sinks;
}
bool CAvRenderer::HasNextMedia() const {
    return m_impl->hasNextMedia;
}
int CAvRenderer::VolumeMax() const {
    return m_impl->volumeMax;
}
std::string CAvRenderer::AvTransportControlUrl() const {
    return m_impl->avTransportUrl;
}
std::string CAvRenderer::RenderingControlUrl() const {
    return m_impl->renderingControlUrl;
}

bool CAvRenderer::CanPlay(const std::string& mimeType) const {
    for (const std::string& sink : m_impl->sinks)
        if (SinkAccepts(sink, mimeType))
            return true;
    return false;
}

std::string CAvRenderer::ProtocolInfoFor(const RendererMedia& media) const {
    return ProtocolInfoForMedia(media);
}

void CAvRenderer::SetMedia(const RendererMedia& media) {
    std::string didl = DidlForMedia(media, ProtocolInfoForMedia(media));
    m_impl->PostCommand(
        &Impl::avTransport, "SetAVTransportURI", [uri = media.uri, didl](const char* name) {
            return gupnp_service_proxy_action_new(name, "InstanceID", G_TYPE_UINT, 0, "CurrentURI",
                                                  G_TYPE_STRING, uri.c_str(), "CurrentURIMetaData",
                                                  G_TYPE_STRING, didl.c_str(), nullptr);
        });
}

void CAvRenderer::SetNextMedia(const RendererMedia& media) {
    if (!m_impl->hasNextMedia) {
        DebugPrint("AvRenderer: SetNextAVTransportURI not offered; ignored\n");
        return;
    }
    std::string didl = DidlForMedia(media, ProtocolInfoForMedia(media));
    m_impl->PostCommand(
        &Impl::avTransport, "SetNextAVTransportURI", [uri = media.uri, didl](const char* name) {
            return gupnp_service_proxy_action_new(name, "InstanceID", G_TYPE_UINT, 0, "NextURI",
                                                  G_TYPE_STRING, uri.c_str(), "NextURIMetaData",
                                                  G_TYPE_STRING, didl.c_str(), nullptr);
        });
}

void CAvRenderer::Play() {
    m_impl->PostCommand(&Impl::avTransport, "Play", [](const char* name) {
        return gupnp_service_proxy_action_new(name, "InstanceID", G_TYPE_UINT, 0, "Speed",
                                              G_TYPE_STRING, "1", nullptr);
    });
}

void CAvRenderer::Pause() {
    m_impl->PostCommand(&Impl::avTransport, "Pause", instanceAction);
}

void CAvRenderer::Stop() {
    m_impl->PostCommand(&Impl::avTransport, "Stop", instanceAction);
}

void CAvRenderer::SeekTo(std::int64_t positionMs) {
    m_impl->PostCommand(
        &Impl::avTransport, "Seek", [target = FormatAvSeekTarget(positionMs)](const char* name) {
            return gupnp_service_proxy_action_new(name, "InstanceID", G_TYPE_UINT, 0, "Unit",
                                                  G_TYPE_STRING, "REL_TIME", "Target",
                                                  G_TYPE_STRING, target.c_str(), nullptr);
        });
}

// Each is read back: a renderer without events still shows the new value.
void CAvRenderer::SetVolume(int volume) {
    Impl* impl = m_impl.get();
    const guint desired = static_cast<guint>(std::clamp(volume, 0, impl->volumeMax));
    impl->PostCommand(
        &Impl::renderingControl, "SetVolume",
        [desired](const char* name) {
            return gupnp_service_proxy_action_new(name, "InstanceID", G_TYPE_UINT, 0, "Channel",
                                                  G_TYPE_STRING, "Master", "DesiredVolume",
                                                  G_TYPE_UINT, desired, nullptr);
        },
        [impl](GUPnPServiceProxyAction*) { impl->ReadVolume(); });
}

void CAvRenderer::SetMute(bool isMuted) {
    Impl* impl = m_impl.get();
    impl->PostCommand(
        &Impl::renderingControl, "SetMute",
        [isMuted](const char* name) {
            return gupnp_service_proxy_action_new(name, "InstanceID", G_TYPE_UINT, 0, "Channel",
                                                  G_TYPE_STRING, "Master", "DesiredMute",
                                                  G_TYPE_BOOLEAN, isMuted ? TRUE : FALSE, nullptr);
        },
        [impl](GUPnPServiceProxyAction*) { impl->ReadMute(); });
}
