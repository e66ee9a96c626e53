// The audio thread's real-time request (see real_time_request.h).  Runs on
// the render thread during start-up, so that the audio thread itself never
// allocates or blocks on the bus.
#include "real_time_request.h"

#include <dbus/dbus.h>
#include <sched.h>
#include <sys/resource.h>

#include <cstdint>

namespace {

// RTKit grants real time only to a process whose real-time CPU time per
// uninterrupted run is bounded; its default ceiling.  The audio thread
// sleeps in poll every few milliseconds, far inside it.
constexpr rlim_t REAL_TIME_CPU_USEC = 200000;
constexpr int BUS_TIMEOUT_MSEC = 500;

bool bound_real_time_cpu() {
  rlimit limit;
  if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= REAL_TIME_CPU_USEC) return true;
  limit.rlim_cur = limit.rlim_max = REAL_TIME_CPU_USEC;
  return setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

bool ask_rtkit(pid_t thread_id, uint32_t priority) {
  DBusError error;
  dbus_error_init(&error);
  // A private connection, closed again: nothing of the bus stays in the process.
  DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
  if (!bus) {
    dbus_error_free(&error);
    return false;
  }
  dbus_connection_set_exit_on_disconnect(bus, FALSE);
  bool granted = false;
  DBusMessage* call = dbus_message_new_method_call("org.freedesktop.RealtimeKit1", "/org/freedesktop/RealtimeKit1",
                                                   "org.freedesktop.RealtimeKit1", "MakeThreadRealtime");
  dbus_uint64_t id = dbus_uint64_t(thread_id);
  dbus_uint32_t level = priority;
  if (call && dbus_message_append_args(call, DBUS_TYPE_UINT64, &id, DBUS_TYPE_UINT32, &level, DBUS_TYPE_INVALID)) {
    if (DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, call, BUS_TIMEOUT_MSEC, &error)) {
      granted = !dbus_set_error_from_message(&error, reply);
      dbus_message_unref(reply);
    }
  }
  if (call) dbus_message_unref(call);
  dbus_error_free(&error);
  dbus_connection_close(bus);
  dbus_connection_unref(bus);
  return granted;
}

}  // namespace

bool request_real_time(pthread_t thread, pid_t thread_id) {
  const sched_param lowest = {sched_get_priority_min(SCHED_RR)};
  if (pthread_setschedparam(thread, SCHED_RR, &lowest) == 0) return true;
  return bound_real_time_cpu() && ask_rtkit(thread_id, uint32_t(lowest.sched_priority));
}
