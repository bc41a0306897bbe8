"""zephor-batch: a file of molecules (or a tree of molecule folders) in, one table out."""
