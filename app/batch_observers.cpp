#include "app/batch_observers.h"

namespace imp {

void Observadores::Agregue(ObservadorImportacion* o) {
  if (o) lista_.push_back(o);
}

void Observadores::AlGrabarPedido(const PedidoGrabado& p) {
  const std::lock_guard<std::mutex> bajo(cerrojo_);
  for (auto* o : lista_) o->AlGrabarPedido(p);
}

void Observadores::AlDescartarPedido(const PedidoDescartado& p) {
  const std::lock_guard<std::mutex> bajo(cerrojo_);
  for (auto* o : lista_) o->AlDescartarPedido(p);
}

void Observadores::AlDescartarLinea(const LineaDescartada& l) {
  const std::lock_guard<std::mutex> bajo(cerrojo_);
  for (auto* o : lista_) o->AlDescartarLinea(l);
}

void Observadores::AlOmitirPedido(const PedidoExistente& p) {
  const std::lock_guard<std::mutex> bajo(cerrojo_);
  for (auto* o : lista_) o->AlOmitirPedido(p);
}

void Observadores::AlInterrumpirse(const std::string& f, const std::vector<TPosicionLinea>& r) {
  const std::lock_guard<std::mutex> bajo(cerrojo_);
  for (auto* o : lista_) o->AlInterrumpirse(f, r);
}

void Observadores::AlDetenerse(const TPosicionLinea& p) {
  const std::lock_guard<std::mutex> bajo(cerrojo_);
  for (auto* o : lista_) o->AlDetenerse(p);
}

}  // namespace imp
