#!/usr/bin/perl
# Prints what the Palm::PDB library reads from a resource database: its name,
# type and creator, then each resource's type, id and bytes in hexadecimal.
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;

&Palm::PDB::RegisterPRCHandlers("Palm::Raw", "");

my $pdb = Palm::PDB->new;
$pdb->Load($ARGV[0]);
print "name ", unpack("H*", $pdb->{name}), "\n";
print "type $pdb->{type} creator $pdb->{creator}\n";
for my $resource (@{$pdb->{resources}}) {
    print "resource $resource->{type} $resource->{id} ", unpack("H*", $resource->{data}), "\n";
}
