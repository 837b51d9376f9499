// Built as C++17: what a client of the three control libraries includes must
// compile there, not only in the program's own C++20.
#include <control_values.h>
#include <cpindle.h>
#include <grafica.h>
#include <graph_geometry.h>
#include <notify_record.h>
#include <progreso.h>
#include <tarta.h>
#include <tray_backend.h>

static_assert(__cplusplus < 202002L, "this client stands for a C++17 one");

bool sameTrayEvent(const pindle::TrayMouseEvent &a, const pindle::TrayMouseEvent &b)
{
    return a == b && !(a != b);
}
