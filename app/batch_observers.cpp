#include "app/batch_observers.h"

namespace imp {

void BatchObservers::Add(ObservadorImportacion* o) {
  if (o) observers_.push_back(o);
}

void BatchObservers::AlGrabarPedido(const PedidoGrabado& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->AlGrabarPedido(p);
}

void BatchObservers::AlDescartarPedido(const PedidoDescartado& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->AlDescartarPedido(p);
}

void BatchObservers::AlDescartarLinea(const LineaDescartada& l) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->AlDescartarLinea(l);
}

void BatchObservers::AlOmitirPedido(const PedidoExistente& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->AlOmitirPedido(p);
}

void BatchObservers::AlInterrumpirse(const std::string& f, const std::vector<TPosicionLinea>& r) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->AlInterrumpirse(f, r);
}

void BatchObservers::AlDetenerse(const TPosicionLinea& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->AlDetenerse(p);
}

}  // namespace imp
