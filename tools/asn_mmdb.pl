#!/usr/bin/perl
# Writes a MaxMind DB of network owners in the GeoLite2-ASN layout from CSV files of
# ip-location-db's asn layout (ip_range_start,ip_range_end,autonomous_system_number,
# autonomous_system_organization; the organisation quoted as CSV quotes it).
#
#   asn_mmdb.pl --out FILE --epoch SECONDS [--alias] CSV...
#
# --epoch is the build date the file tells (the data's date, so that the same data makes the
# same file); --alias maps ::ffff:0:0/96 and 2002::/16 to the IPv4 networks as MaxMind's
# files do, which a CSV holding networks there cannot have.
use strict;
use warnings;
use Getopt::Long;
use MaxMind::DB::Writer::Tree;

my ($out, $epoch, $alias) = (undef, undef, 0);
GetOptions('out=s' => \$out, 'epoch=i' => \$epoch, 'alias' => \$alias)
  && defined $out && defined $epoch && @ARGV
  or die "usage: asn_mmdb.pl --out FILE --epoch SECONDS [--alias] CSV...\n";

my $tree = MaxMind::DB::Writer::Tree->new(
    ip_version => 6,
    record_size => 28,
    database_type => 'GeoLite2-ASN',
    languages => ['en'],
    description => { en => 'Network owners (AS number and organisation)' },
    map_key_type_callback => sub {
        { autonomous_system_number => 'uint32', autonomous_system_organization => 'utf8_string' }->{ $_[0] }
    },
    alias_ipv6_to_ipv4 => $alias,
    # Nothing is dropped: the file answers what the data says.
    remove_reserved_networks => 0,
    merge_strategy => 'none',
);

# One CSV field: plain, or quoted with doubled quotes inside.
sub fields {
    my ($line) = @_;
    my @out;
    while (length $line) {
        if ($line =~ s/^"((?:[^"]|"")*)"(?:,|$)//) {
            (my $f = $1) =~ s/""/"/g;
            push @out, $f;
        } elsif ($line =~ s/^([^,]*)(?:,|$)//) {
            push @out, $1;
        } else {
            die "cannot read: $line\n";
        }
    }
    return @out;
}

for my $csv (@ARGV) {
    open my $in, '<:raw', $csv or die "$csv: $!\n";
    while (my $line = <$in>) {
        $line =~ s/\r?\n\z//;
        next if $line eq '';
        my ($first, $last, $number, $organisation) = fields($line);
        die "$csv:$.: not a range\n" unless defined $last && $first ne '' && $last ne '';
        my %record;
        $record{autonomous_system_number} = $number + 0 if defined $number && $number =~ /^\d+\z/;
        if (defined $organisation && $organisation ne '') {
            utf8::decode($organisation) or die "$csv:$.: the organisation is not UTF-8\n";
            $record{autonomous_system_organization} = $organisation;
        }
        next unless %record;
        $tree->insert_range($first, $last, \%record);
    }
    close $in;
}
$tree->_set_build_epoch($epoch);
open my $fh, '>:raw', "$out.part" or die "$out.part: $!\n";
$tree->write_tree($fh);
close $fh or die "$out.part: $!\n";
rename "$out.part", $out or die "$out: $!\n";
