// A small program for comparing builds of the core across compilers and hosts.
//
//   driver generate      writes rb22.dat, rb44.dat and both listings into the
//                        working directory
//   driver query DIR     loads DIR/rb22.dat and DIR/rb44.dat and prints the answers
//                        to a fixed set of queries, and digests of the whole arrays
//
// Every number is printed as an integer (reals as their bit patterns), so two hosts
// that agree print the same bytes, whatever their byte order or C library.
#include <bit>
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tables/checkers.h"
#include "tables/generate.h"
#include "tables/rb22.h"
#include "tables/rb44.h"

namespace {

// FNV-1a over values, not bytes: the digest of an array is the same on any host.
struct Digest {
  std::uint64_t h = 14695981039346656037u;
  void add(std::uint64_t v) {
    for (int i = 0; i < 8; ++i, v >>= 8) h = (h ^ (v & 0xff)) * 1099511628211u;
  }
};

// A fixed pseudo-random stream of element indices below n.
struct Draws {
  std::uint64_t state;
  std::int32_t n;
  std::int32_t next() {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::int32_t>((state >> 33) % static_cast<std::uint64_t>(n));
  }
};

void print_word(const char* label, const std::vector<std::int32_t>& word) {
  std::cout << label;
  for (std::int32_t g : word) std::cout << ' ' << g;
  std::cout << '\n';
}

template <class RB>
void query(const std::string& path, const char* name,
           bool (*checker)(const std::vector<std::int32_t>&, const std::vector<std::int32_t>&)) {
  RB rb;
  rb.load_from_file(path);
  const std::int32_t n = rb.N;
  std::cout << name << " N " << n << '\n';
  print_word("specials", rb.get_special_operations());

  Digest table, inverses, records;
  for (std::int32_t v : rb.get_table()) table.add(static_cast<std::uint32_t>(v));
  for (std::int32_t v : rb.get_inverse_table()) inverses.add(static_cast<std::uint32_t>(v));
  for (const auto& rec : rb.get_group_elements()) {
    for (const auto& z : rec.arr) {
      records.add(std::bit_cast<std::uint64_t>(z.real()));
      records.add(std::bit_cast<std::uint64_t>(z.imag()));
    }
    for (std::int32_t g : rec.buffer) records.add(static_cast<std::uint32_t>(g));
    records.add(static_cast<std::uint32_t>(rec.size));
  }
  std::cout << std::hex << "digests " << table.h << ' ' << inverses.h << ' ' << records.h
            << std::dec << '\n';

  Draws draws{static_cast<std::uint64_t>(n), n};
  for (int k = 0; k < 64; ++k) {
    const std::int32_t i = draws.next(), j = draws.next();
    std::cout << i << '*' << j << " = " << rb.get_multiplication_table_elem(i, j) << ", inverse "
              << rb.get_inverse(i) << ", size " << rb.get_generator_size(i) << ", matrix";
    for (const auto& z : rb.get_matrix(i)) {
      std::cout << std::hex << ' ' << std::bit_cast<std::uint64_t>(z.real()) << ':'
                << std::bit_cast<std::uint64_t>(z.imag()) << std::dec;
    }
    std::cout << '\n';
  }
  for (int length : {1, 2, 10, 100}) {
    std::vector<std::int32_t> sequence;
    for (int k = 0; k < length; ++k) sequence.push_back(draws.next());
    const auto [gates, recovery] = rb.get_full_sequence_and_inverse_sequence(sequence);
    print_word("gates", gates);
    print_word("recovery", recovery);
    std::cout << "checker " << checker(gates, recovery) << '\n';
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "generate" && argc == 2) {
      return vantrel::generate_table22("rb22.dat", std::cout) != 0 ||
             vantrel::generate_table44("rb44.dat", std::cout) != 0;
    }
    if (command == "query" && argc == 3) {
      const std::string dir = argv[2];
      query<vantrel::RB22>(dir + "/rb22.dat", "RB22", vantrel::rb22_checker);
      query<vantrel::RB44>(dir + "/rb44.dat", "RB44", vantrel::rb44_checker);
      return 0;
    }
  } catch (const std::exception& e) {
    std::cerr << "driver: " << e.what() << '\n';
    return 1;
  }
  std::cerr << "usage: driver generate | driver query DIR\n";
  return 2;
}
