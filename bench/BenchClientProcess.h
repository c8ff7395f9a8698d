#pragma once

#include <cstdlib>
#include <functional>
#include <sys/types.h>
#include <sys/wait.h>
#include <type_traits>
#include <unistd.h>

// The client side of a server benchmark, in a process of its own so that it
// shares no scheduler state or allocator with the server it measures. It is
// forked before any thread of the server exists and answers each order it
// is sent with serve(order) until its orders end.
template <typename Order, typename Answer> class BenchClientProcess {
    static_assert(std::is_trivially_copyable_v<Order> && std::is_trivially_copyable_v<Answer>,
                  "orders and answers cross a pipe as bytes");

public:
    explicit BenchClientProcess(const std::function<Answer(const Order&)>& serve) {
        int orders[2];
        int answers[2];
        if (::pipe(orders) != 0 || ::pipe(answers) != 0)
            std::exit(1);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(orders[1]);
            ::close(answers[0]);
            Order order;
            while (::read(orders[0], &order, sizeof order) == sizeof order) {
                const Answer answer = serve(order);
                if (::write(answers[1], &answer, sizeof answer) != sizeof answer)
                    break;
            }
            _exit(0);
        }
        ::close(orders[0]);
        ::close(answers[1]);
        m_orders = orders[1];
        m_answers = answers[0];
    }
    // The end of its orders ends the child.
    ~BenchClientProcess() {
        ::close(m_orders);
        ::close(m_answers);
        ::waitpid(m_pid, nullptr, 0);
    }
    BenchClientProcess(const BenchClientProcess&) = delete;
    BenchClientProcess& operator=(const BenchClientProcess&) = delete;

    // The child's answer, or failed when it cannot be had.
    Answer Ask(const Order& order, const Answer& failed) {
        Answer answer;
        if (::write(m_orders, &order, sizeof order) != sizeof order ||
            ::read(m_answers, &answer, sizeof answer) != sizeof answer)
            return failed;
        return answer;
    }

private:
    pid_t m_pid = -1;
    int m_orders = -1;
    int m_answers = -1;
};
