// Base of the component models: the models hold the truth, views observe them.
#pragma once

#include <functional>
#include <map>

namespace ui {

class Model {
 public:
  using Observer = std::function<void()>;

  Model() = default;
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;
  virtual ~Model() = default;

  // Registers a view's callback, run after every change of the model's state.
  int Subscribe(Observer observer) {
    observers_[next_id_] = std::move(observer);
    return next_id_++;
  }
  void Unsubscribe(int id) { observers_.erase(id); }

 protected:
  void Changed() {
    // A callback may unsubscribe itself; iterate over a copy of the ids.
    auto copy = observers_;
    for (auto& [id, observer] : copy)
      if (observers_.count(id)) observer();
  }

 private:
  std::map<int, Observer> observers_;
  int next_id_ = 1;
};

}  // namespace ui
