#include "testkit/huff/huff_oracles.h"

#include <map>
#include <queue>
#include <random>
#include <stdexcept>

#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"

namespace vex::testkit {

std::vector<uint8_t> capture_bits(const std::function<void(VEXFILE *)> &body) {
  TempDir dir;
  const std::string name = dir.file("bits.bin");
  VEXFILE *f = VEXFileCreate(4096, name.c_str());
  if (!f)
    throw std::runtime_error("cannot create " + name);
  body(f);
  VEXFileByteAlign(f);
  VEXFileClose(f);
  return read_file(name);
}

uint64_t optimal_cost(const std::vector<uint32_t> &symbols) {
  std::map<uint32_t, uint64_t> counts;
  for (uint32_t s : symbols)
    ++counts[s];
  std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<>> q;
  for (auto [s, c] : counts)
    q.push(c);
  uint64_t cost = 0;
  while (q.size() > 1) {
    const uint64_t a = q.top();
    q.pop();
    const uint64_t b = q.top();
    q.pop();
    cost += a + b;
    q.push(a + b);
  }
  return cost;
}

std::vector<uint32_t> fibonacci_stream(uint32_t symbols) {
  std::vector<uint32_t> out;
  uint64_t a = 1, b = 1;
  for (uint32_t s = 0; s < symbols; ++s) {
    out.insert(out.end(), a, s);
    const uint64_t c = a + b;
    a = b;
    b = c;
  }
  return out;
}

std::vector<uint32_t> recent_heavy_stream(uint32_t seed, size_t count) {
  std::mt19937 gen(seed);
  std::vector<uint32_t> out;
  std::uniform_int_distribution<uint32_t> any(0, 0xFFFF), pick(0, 9);
  std::vector<uint32_t> pool;
  for (int i = 0; i < 40; ++i)
    pool.push_back(any(gen));
  for (size_t i = 0; i < count; ++i) {
    const uint32_t r = pick(gen);
    if (r < 3 && out.size() > 3)
      out.push_back(out[out.size() - 1 - r]); // a recent symbol
    else if (r < 8)
      out.push_back(pool[pick(gen) * 4 % pool.size()]);
    else
      out.push_back(any(gen));
  }
  return out;
}

void PlainWeightList::insert(huff::WeightedRef e) {
  const int n = static_cast<int>(v.size());
  int low = 0, high = n, mid = 0;
  while (low <= high) {
    mid = (low + high) / 2;
    if (mid == n)
      break;
    if (v[static_cast<size_t>(mid)].weight < e.weight)
      high = mid - 1;
    else
      low = mid + 1;
  }
  const int pos = mid == n || v[static_cast<size_t>(mid)].weight < e.weight ? mid : mid + 1;
  if (pos == n) {
    v.push_back(e);
  } else if (v[static_cast<size_t>(pos)].weight == v.back().weight) {
    v.push_back(v[static_cast<size_t>(pos)]);
    v[static_cast<size_t>(pos)] = e;
  } else {
    v.insert(v.begin() + pos, e);
  }
}

huff::WeightedRef PlainWeightList::pop_last() {
  const huff::WeightedRef e = v.back();
  v.pop_back();
  return e;
}

} // namespace vex::testkit
