#!/usr/bin/env bash
# The naming rule, checked: every identifier of the C++ sources (and every
# source file name) that contains a Spanish word is one of the system's
# vocabulary listed in GLOSSARY.md, or is made of such a name and English
# words (`kValideArticulo`, `CFacturas_rows`). All-caps names that are
# tables, columns or procedures of schema/*.sql are vocabulary too.
#
# Only identifiers are read: comments, string and character literals (the
# operator's texts, report keys, command-line options) and #include lines
# are skipped. A word is a snake_case part or a CamelCase hump; the Spanish
# words and stems are those of spanish_words.txt beside this script.
#
#   naming_check.sh [BUILD_DIR]      (the build directory is not needed)
#   naming_check.sh --files FILE...  check only these files (for trying it)
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
files=()
if [ "${1:-}" == "--files" ]; then
  shift
  files=("$@")
else
  for d in app batch session db import values bench tests; do
    [ -d "$ROOT/$d" ] || continue
    while IFS= read -r -d '' f; do files+=("$f"); done < <(
      find "$ROOT/$d" \( -path "$ROOT/tests/data" -o -path "$ROOT/tests/fuzz/corpus" \) -prune -o \
        -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) -print0 | sort -z)
  done
fi

exec perl -e '
use strict; use warnings;
my ($root, @files) = @ARGV;

sub words {  # snake_case parts and CamelCase humps, as written
  my @w;
  for my $part (split /_+/, $_[0]) {
    push @w, ($part =~ /([A-Z]+(?![a-z])|[A-Z]?[a-z]+|[0-9]+)/g);
  }
  return @w;
}

my (%word, @stem);
open my $wf, "<", "$root/tests/scripts/spanish_words.txt" or die "spanish_words.txt: $!\n";
while (<$wf>) {
  s/#.*//; s/\s+//g; next if $_ eq "";
  if (s/\*$//) { push @stem, $_ } else { $word{$_} = 1 }
}
sub spanish { my $w = lc shift; return 1 if $word{$w}; for (@stem) { return 1 if index($w, $_) == 0 } 0 }

# The glossary: lines "- `name` ..." ; each entry as its word sequence, and
# without a one-letter kind prefix (T, C, Q, ...) as well. A word of an
# entry written in lower case matches that word in any case (`valide_articulo`
# covers `ValideArticuloAnswers`); one with capitals matches only as written
# (`Servidor` does not cover `servidor`, `DATO` does not cover `dato`), except
# in file names, which are snake_case after their type (`lector_plano.h`).
my (%entry, @seq);
open my $gf, "<", "$root/GLOSSARY.md" or die "GLOSSARY.md: $!\n";
while (<$gf>) {
  next unless /^- `([A-Za-z_][A-Za-z0-9_]*)`/;
  $entry{$1} = 1;
  my @w = words($1);
  push @seq, [@w];
  push @seq, [@w[1 .. $#w]] if @w > 1 && length($w[0]) == 1;
}
@seq = sort { @$b <=> @$a } @seq;

# Names of the schema: all-caps identifiers there are the database'"'"'s.
my %sql;
for my $s (glob("$root/schema/*.sql")) {
  open my $sf, "<", $s or next;
  local $/; my $t = <$sf>;
  $t =~ s{/\*.*?\*/}{}gs; $t =~ s/--[^\n]*//g; $t =~ s/'"'"'(?:[^'"'"']|'"'"''"'"')*'"'"'//g;
  $sql{uc $1} = 1 while $t =~ /\b([A-Za-z_][A-Za-z0-9_\$]*)\b/g;
}

# The Spanish words of a name that no glossary entry covers.
sub same_word {
  my ($w, $e, $any_case) = @_;
  return lc($w) eq lc($e) && ($any_case || $e eq lc($e) || $e eq $w);
}
sub offending {
  my ($id, $any_case) = @_;
  return () if $entry{$id};
  return () if $id !~ /[a-z]/ && $sql{$id};
  my @w = words($id);
  my @covered = (0) x @w;
  for my $s (@seq) {
    my $n = @$s;
    next if !$n || $n > @w;
    for my $i (0 .. @w - $n) {
      my $ok = 1;
      for my $j (0 .. $n - 1) { unless (same_word($w[$i + $j], $s->[$j], $any_case)) { $ok = 0; last } }
      if ($ok) { $covered[$_] = 1 for $i .. $i + $n - 1 }
    }
  }
  return map { $covered[$_] ? () : spanish($w[$_]) ? ($w[$_]) : () } 0 .. $#w;
}

# Source text with comments, literals and #include lines blanked (line
# breaks kept, so that line numbers stay right).
sub code_only {
  my $s = shift;
  my $out = "";
  my $n = length $s;
  my $i = 0;
  while ($i < $n) {
    my $rest = substr($s, $i, 64);
    if ($rest =~ m{^//}) {
      my $j = index($s, "\n", $i); $j = $n if $j < 0; $i = $j; next;
    }
    if ($rest =~ m{^/\*}) {
      my $j = index($s, "*/", $i + 2); $j = $n - 2 if $j < 0;
      my $c = substr($s, $i, $j + 2 - $i); $out .= "\n" x ($c =~ tr/\n//); $i = $j + 2; next;
    }
    if ($rest =~ /^(?:u8|u|U|L)?R"([^()\\\s]{0,16})\(/ && ($i == 0 || substr($s, $i - 1, 1) !~ /\w/)) {
      my $close = ")$1\"";
      my $j = index($s, $close, $i + length($&)); $j = $n - length($close) if $j < 0;
      my $c = substr($s, $i, $j + length($close) - $i); $out .= " \"\" " . ("\n" x ($c =~ tr/\n//));
      $i = $j + length($close); next;
    }
    my $c = substr($s, $i, 1);
    if ($c eq "\x27" && $i > 0 && substr($s, $i - 1, 1) =~ /[0-9A-Fa-f]/ && $out =~ /\b(?:0[xXbB])?[0-9][0-9A-Fa-f\x27]*$/) {
      $i++; next;  # a digit separator
    }
    if ($c eq "\"" || $c eq "\x27") {
      my $j = $i + 1;
      while ($j < $n) {
        my $d = substr($s, $j, 1);
        last if $d eq $c || $d eq "\n";
        $j += $d eq "\\" ? 2 : 1;
      }
      $out .= " \"\" "; $i = $j + 1; next;
    }
    if ($c eq "#" && $out =~ /(?:^|\n)[ \t]*$/ && $rest =~ /^#\s*include\b/) {
      my $j = index($s, "\n", $i); $j = $n if $j < 0; $i = $j; next;
    }
    $out .= $c; $i++;
  }
  return $out;
}

my (%bad, $count);
for my $f (@files) {
  open my $fh, "<", $f or die "$f: $!\n";
  local $/; my $text = <$fh>;
  my $rel = $f; $rel =~ s{^\Q$root\E/}{};
  (my $base = $rel) =~ s{^.*/}{}; $base =~ s/\.[^.]*$//;
  if (my @w = offending($base, 1)) {
    push @{$bad{$base}}, "$rel (file name)"; $count++;
  }
  my $line = 1;
  for my $chunk (split /(\n)/, code_only($text)) {
    if ($chunk eq "\n") { $line++; next }
    while ($chunk =~ /\b([A-Za-z_][A-Za-z0-9_]*)\b/g) {
      my $id = $1;
      my @w = offending($id);
      next unless @w;
      push @{$bad{$id}}, "$rel:$line"; $count++;
    }
  }
}
if (%bad) {
  for my $id (sort keys %bad) {
    my @at = @{$bad{$id}};
    my $more = @at > 3 ? sprintf(" and %d more", @at - 3) : "";
    printf STDERR "naming: %s (%s) at %s%s\n", $id, join(" ", offending($id)),
      join(", ", @at[0 .. ($#at < 2 ? $#at : 2)]), $more;
  }
  printf STDERR "naming_check: %d Spanish identifiers not in GLOSSARY.md (%d uses)\n",
    scalar(keys %bad), $count;
  exit 1;
}
printf "naming_check: ok (%d files)\n", scalar @files;
' "$ROOT" "${files[@]}"
