// Element parameters and STO-6G tables. The single-precision literals are the program's
// definition of every constant; they are widened to double exactly once, here.
#include "integrals/element_table.hpp"

#include "common/elements.hpp"

namespace zephor {

namespace {

constexpr double w(float f) { return double(f); }

// Letter, atomic number, valence electrons, functions and shells from the shared facts, beside
// zephor's own parameters of the element.
constexpr ElementData with_facts(char letter, double s_level, double p_level, const std::array<double, 6>& exponents) {
    const SupportedElement& e = *supported_element(letter);
    return {e.letter, e.atomic_number, double(e.valence_electrons), e.valence_electrons, e.functions, e.shells,
            s_level, p_level, exponents};
}

// Exponents are the STO-6G exponents for a Slater exponent of 1, scaled by zeta^2
// (zeta = 1.24 H, 1.50 B, 1.72 C, 1.95 N, 2.25 O, 2.55 F); only the rounded values are used.
constexpr std::array<ElementData, 6> elements{{
    with_facts('H', w(-13.6f), 0.0,
                {w(35.52322f), w(6.5131435f), w(1.822143f), w(0.6259553f), w(0.24307674f), w(0.10011243f)}),
    with_facts('B', w(-15.2f), w(-8.5f),
                {w(23.194574f), w(4.59081f), w(1.4268194f), w(0.5489482f), w(0.23841f), w(0.10928025f)}),
    with_facts('C', w(-21.4f), w(-11.4f),
                {w(30.49724f), w(6.0361996f), w(1.8760463f), w(0.7217826f), w(0.3134707f), w(0.14368655f)}),
    with_facts('N', w(-25.58f), w(-13.9f),
                {w(39.198807f), w(7.758467f), w(2.4113257f), w(0.92772394f), w(0.40291113f), w(0.18468365f)}),
    with_facts('O', w(-32.38f), w(-15.85f),
                {w(52.187763f), w(10.32932f), w(3.210345f), w(1.2351354f), w(0.53642017f), w(0.2458806f)}),
    with_facts('F', w(-40.2f), w(-18.66f),
                {w(67.03228f), w(13.267438f), w(4.12351f), w(1.5864629f), w(0.6890019f), w(0.31581998f)}),
}};

}  // namespace

const std::array<double, 6> coef_1s{w(0.009163597f), w(0.049361493f), w(0.1685383f),
                                    w(0.3705628f),   w(0.41649154f),  w(0.13033408f)};
const std::array<double, 6> coef_2s{w(-0.013252788f), w(-0.04699171f), w(-0.033785373f),
                                    w(0.2502418f),    w(0.5951173f),   w(0.24070618f)};
const std::array<double, 6> coef_2p{w(0.0037596966f), w(0.03767937f), w(0.17389674f),
                                    w(0.41803643f),   w(0.42585954f), w(0.10170829f)};

const ElementData* element_by_letter(char letter) {
    for (const ElementData& e : elements)
        if (e.letter == letter) return &e;
    return nullptr;
}

std::optional<ElementTables> element(std::string_view symbol) {
    if (symbol.empty()) return std::nullopt;
    // The order C, H, B, N, O, F only decides which match is found first; letters are distinct.
    const ElementData* e = element_by_letter(symbol[0]);
    if (e == nullptr) return std::nullopt;

    const std::size_t m = static_cast<std::size_t>(e->functions);
    ElementTables t;
    t.count = e->functions;
    t.ai.resize(6 * m);
    t.di.resize(6 * m);
    t.gi.resize(6 * m);
    static constexpr std::array<Label, 4> labels{label_ss, label_px, label_py, label_pz};
    for (std::size_t f = 0; f < m; ++f) {
        const std::array<double, 6>& coef = (e->functions == 1) ? coef_1s : (f == 0 ? coef_2s : coef_2p);
        for (std::size_t k = 0; k < 6; ++k) {
            t.gi[6 * f + k] = labels[f];
            t.ai[6 * f + k] = e->exponents[k];
            t.di[6 * f + k] = coef[k];
        }
    }
    return t;
}

}  // namespace zephor
