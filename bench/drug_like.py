"""Drug-like molecules for the screening benchmark, written as SMILES from fragments: an aryl or
heteroaryl head with a substituent, a linker, and an amine or alcohol tail; H, B, C, N, O and F
only, neutral, 15 to 60 atoms. The first N of a fixed enumeration order, so every run screens
the same molecules."""
import itertools
import sys

# Heads: a ring with a place {} for a substituent.
HEADS = ["c1ccc({})cc1", "c1cc({})ccn1", "c1cnc({})cn1", "c1ccc2cc({})ccc2c1", "c1coc({})c1",
         "c1ccc2[nH]c({})cc2c1", "c1cc({})c(F)cc1F", "c1ccc({})c(OC)c1"]
SUBSTITUENTS = ["F", "OC", "C", "C(F)(F)F", "C#N", "N(C)C", "O", "OC(F)(F)F", "CC", "C(C)=O"]
# Linkers from the head (left) to the tail (right).
LINKERS = ["C(=O)N{}", "NC(=O){}", "CN{}", "OC{}", "NC(=O)N{}", "C(=O)O{}", "CCN{}"]
TAILS = ["C", "CC", "C1CC1", "CC(C)C", "c1ccccc1", "c1ccncc1", "C1CCOCC1", "CCN(C)C", "C1CCNCC1", "CCO",
         "Cc1ccc(F)cc1", "C1CCCCC1", "CC(=O)N", "c1cnccn1"]


def molecules():
    for head, sub, linker, tail in itertools.product(HEADS, SUBSTITUENTS, LINKERS, TAILS):
        yield head.format(sub) + linker.format(tail)


def main(count, out):
    seen = list(dict.fromkeys(molecules()))
    # Spread over the whole enumeration, not its first corner: every k-th molecule.
    step = max(1, len(seen) // count)
    chosen = seen[::step][:count]
    with open(out, "w") as f:
        for i, smiles in enumerate(chosen, 1):
            f.write("%s drug%04d\n" % (smiles, i))


if __name__ == "__main__":
    main(int(sys.argv[1]), sys.argv[2])
