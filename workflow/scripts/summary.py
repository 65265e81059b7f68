"""One line per dataset and seed: the k the merge chose, with its BIC and
log-likelihood, read from each merge's model-selection table."""

import csv


def chosen_row(table):
    with open(table, encoding="utf-8", newline="") as text:
        for row in csv.DictReader(text, delimiter="\t"):
            if row["selected"] == "yes":
                return row
    raise ValueError(f"{table} selects no k")


def write_summary(out_path, tables):
    with open(out_path, "w", encoding="utf-8") as out:
        out.write("dataset\tseed\tk\tbic\tlog_likelihood\tmodel_selection\n")
        for (dataset, seed), table in tables:
            row = chosen_row(table)
            out.write(f"{dataset}\t{seed}\t{row['k']}\t{row['bic']}\t{row['log_likelihood']}\t{table}\n")


if __name__ == "__main__":
    write_summary(snakemake.output[0], list(zip(snakemake.params.labels, snakemake.input)))  # noqa: F821
