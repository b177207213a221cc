function t = nl_term(B, C, opt, iopt, slices, rates)
% The term structure: b and c in transposed storage (compressed rows: the
% observation needs it, and the injection then scatters the few outputs
% instead of visiting every column of b), zeroed buffers of the given
% number of slices.
  n = size(C, 1);
  t = struct('type', 1003, ...
             'b', sparse_description(B, true), 'c', sparse_description(C, true), ...
             'unl', zeros(n, 1, slices), 'snl', zeros(n, 1), ...
             'opt', opt(:), 'iopt', int32(iopt(:)));
  if rates, t.vnl = zeros(n, 1, slices); end
end
