// The resource library needs one source of its own; the resources themselves
// are compiled in by qt_add_resources.
namespace postrider::resources {
int anchor = 0;
}
