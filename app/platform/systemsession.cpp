#include "app/platform/systemsession.h"

namespace SystemSession {

EventFilter::EventFilter(QObject* parent) : QObject(parent) {}

EventFilter::~EventFilter() = default;

}  // namespace SystemSession
